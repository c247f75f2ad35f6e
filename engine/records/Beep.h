#pragma once
#include <windows.h>

// MessageBeep, through a hook that the console program and the tests replace.
using BeepHook = void (*)(UINT type);
void EngineBeep(UINT type);
BeepHook SetEngineBeepHook(BeepHook hook);   // answers the previous hook; null restores MessageBeep
