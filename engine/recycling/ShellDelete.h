#pragma once
// The SHFileOperationW deleter: one shell call per item, with the flag set of
// its kind. Nothing it is handed is ever destroyed outright.
#include <windows.h>
#include <shellapi.h>
#include <string>

// Shell flag sets of the three kinds of shell delete. Each asks for a warning
// (FOF_WANTNUKEWARNING) before the shell would destroy an item that the Recycle
// Bin cannot take; ShellDeleteItem answers that warning No, always.
inline constexpr FILEOP_FLAGS kShellFlagsFolderTree =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
inline constexpr FILEOP_FLAGS kShellFlagsFolderNoRecursion = kShellFlagsFolderTree | FOF_NORECURSION;
inline constexpr FILEOP_FLAGS kShellFlagsFile = kShellFlagsFolderTree | FOF_FILESONLY;

// One shell delete to the Recycle Bin: 0 when the shell says the object went
// (a vanished object counts as deleted; the caller checks that it is gone),
// otherwise an error code: kErrorRecycleBinRefused when the shell would have
// destroyed it, ERROR_INVALID_NAME for a path the shell cannot take as written;
// (DWORD)-1 for an empty path. The object is never destroyed outright.
DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner);

#include "engine/recycling/Recycler.h"

// The shell flag set of each kind (kShellFlagsFile and the others).
FILEOP_FLAGS ShellFlagsFor(RecycleKind kind);
