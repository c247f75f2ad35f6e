#pragma once
// Counters of this process's shell deletes, read by the benchmark.
#include <windows.h>

// Number of shell delete calls made in this process since the last reset; the
// benchmark reads it to show how many calls a plan costs.
// The seconds spent checking that deleted objects are gone, likewise.
unsigned long long ShellDeleteCalls();
double VerifySeconds();
void ResetShellDeleteCalls();
void CountShellDeleteCall();
void CountVerifyTicks(long long ticks);
