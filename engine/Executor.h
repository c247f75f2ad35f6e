#pragma once
// Carries out a deletion plan: everything goes to the Recycle Bin through the
// shell; only folders that are already empty are removed outright.
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "engine/Plan.h"

// Shell flag sets of the three kinds of shell delete. Each asks for a warning
// (FOF_WANTNUKEWARNING) before the shell would destroy an item that the Recycle
// Bin cannot take; ShellDeleteItem answers that warning No, always.
inline constexpr FILEOP_FLAGS kShellFlagsFolderTree =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
inline constexpr FILEOP_FLAGS kShellFlagsFolderNoRecursion = kShellFlagsFolderTree | FOF_NORECURSION;
inline constexpr FILEOP_FLAGS kShellFlagsFile = kShellFlagsFolderTree | FOF_FILESONLY;

// One pass over `items` in `direction` (kFirstToLast or kLastToFirst). FALSE
// when any item failed; the last error is then the most recent failure's code
// (1235 when the host asked to stop).
BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL direction);

// Whether ShellDeleteItem itself checks that the object is gone afterwards, or
// leaves that to its caller (who checks many at once).
enum class GoneCheck { Now, ByCaller };

// One shell delete to the Recycle Bin: 0 when the object is gone afterwards (a
// vanished object counts as deleted), otherwise an error code:
// kErrorRecycleBinRefused when the shell would have destroyed it,
// kErrorItemRemains when the shell claimed success but the object is still
// there, ERROR_INVALID_NAME for a path the shell cannot take as written;
// (DWORD)-1 for an empty path. The object is never destroyed outright.
DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner, GoneCheck check = GoneCheck::Now);

// Takes `path` apart around its protected entries: every other file goes to
// the Recycle Bin, every folder left empty is removed. FALSE (with `error`)
// when anything could not be removed or seen. `progress` gives the host and
// the removal log; its counts are not touched.
BOOL TakeFolderApart(const std::wstring& path, const ProtectedList& protectedList, HWND owner, DWORD& error,
                     const DELETE_PROGRESS& progress);

// Number of shell delete calls made in this process since the last reset; the
// benchmark reads it to show how many calls a plan costs.
// The seconds spent checking that deleted objects are gone, likewise.
unsigned long long ShellDeleteCalls();
double VerifySeconds();
void ResetShellDeleteCalls();
void CountShellDeleteCall();
void CountVerifyTicks(long long ticks);
