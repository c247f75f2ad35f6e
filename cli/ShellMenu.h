#pragma once
// Explorer's folder menu entry "Clean with Mopwright", for the current user
// only (HKEY_CURRENT_USER\Software\Classes\Directory\shell\Mopwright): it
// starts the window program with the folder.
#include <windows.h>
#include <string>

inline constexpr wchar_t kShellMenuKey[] = L"Software\\Classes\\Directory\\shell\\Mopwright";
inline constexpr wchar_t kShellMenuText[] = L"Clean with Mopwright";

// Writes the entry for `programPath` (mopwright.exe). `changed` tells whether
// anything was written (false: it was there already, exactly so). Answers 0
// or the registry's error code.
LSTATUS InstallShellMenu(const std::wstring& programPath, bool& changed);

// Removes the entry, and nothing else; `changed` false when there was none.
LSTATUS UninstallShellMenu(bool& changed);

// The command line the entry runs for `programPath`.
std::wstring ShellMenuCommand(const std::wstring& programPath);
