#include "engine/recycling/Counters.h"

namespace {
unsigned long long g_shellDeleteCalls = 0;
long long g_verifyTicks = 0;
}

unsigned long long ShellDeleteCalls() { return g_shellDeleteCalls; }
double VerifySeconds()
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(g_verifyTicks) / static_cast<double>(frequency.QuadPart);
}
void ResetShellDeleteCalls()
{
    g_shellDeleteCalls = 0;
    g_verifyTicks = 0;
}
void CountShellDeleteCall() { ++g_shellDeleteCalls; }
void CountVerifyTicks(long long ticks) { g_verifyTicks += ticks; }
