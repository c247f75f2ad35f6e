#pragma once
#include <windows.h>

// Fills an OSVERSIONINFOW (size 276) or OSVERSIONINFOEXW (size 284) with the
// system's true version (RtlGetVersion), falling back to GetVersionExW.
// Always leaves a meaningful last error.
BOOL GetOSVersion(OSVERSIONINFOW* info);

// TRUE for version 6.1 (Windows 7) or later according to GetOSVersion.
BOOL IsWindows7OrLater();
