#include "engine/Executor.h"

namespace {
unsigned long long g_shellDeleteCalls = 0;
}

unsigned long long ShellDeleteCalls() { return g_shellDeleteCalls; }
void ResetShellDeleteCalls() { g_shellDeleteCalls = 0; }
void CountShellDeleteCall() { ++g_shellDeleteCalls; }
