#include "engine/records/Beep.h"

namespace {
BeepHook g_beepHook = nullptr;
}

void EngineBeep(UINT type)
{
    if (g_beepHook) g_beepHook(type);
    else ::MessageBeep(type);
}

BeepHook SetEngineBeepHook(BeepHook hook)
{
    BeepHook previous = g_beepHook;
    g_beepHook = hook;
    return previous;
}
