#pragma once
// FILETIMEs as one number (100 ns units since 1601, UTC), as the program
// compares and stores them.
#include <windows.h>

// FILETIME units: 100 ns.
inline constexpr ULONGLONG kFileTimeTicksPerSecond = 10000000;

inline ULONGLONG FileTimeValue(const FILETIME& ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline ULONGLONG NowFileTime()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return FileTimeValue(ft);
}
