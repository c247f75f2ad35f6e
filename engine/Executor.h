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
inline constexpr FILEOP_FLAGS kShellFlagsFile = 0x46D4;
inline constexpr FILEOP_FLAGS kShellFlagsFolderNoRecursion = 0x5654;
inline constexpr FILEOP_FLAGS kShellFlagsFolderTree = 0x4654;

// Codes the executor produces itself.
inline constexpr DWORD kErrorRelativePath = 0x2010;   // 8208: no path or a relative path
inline constexpr DWORD kErrorBadItemType = 0x2141;    // 8513: item type outside 0..3

// One pass over `items`, first to last (forward) or last to first. FALSE when
// any item failed; the last error is then the most recent failure's code
// (1235 when the host asked to stop).
BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL forward);

// 0 when an item of this type and path may be handed on at all; otherwise the
// code that refuses it (kErrorBadItemType, kErrorRelativePath).
DWORD CheckPlannedItem(int type, const std::wstring& path);

// True when the plan's item stays because the protected list names it.
bool IsProtectedItem(int type, const ProtectedList& protectedList, const std::wstring& path);

// One shell delete to the Recycle Bin: 0 when the object is gone afterwards (a
// vanished object counts as deleted), otherwise an error code:
// kErrorRecycleBinRefused when the shell would have destroyed it,
// kErrorItemRemains when the shell claimed success but the object is still
// there, ERROR_INVALID_NAME for a path the shell cannot take as written;
// (DWORD)-1 for an empty path. The object is never destroyed outright.
// `verify` false leaves the check that the object is gone to the caller.
DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner, bool verify = true);

// What a scan of a folder for protected entries found.
enum class ScanResult { None, Found, Failed };

// Looks through `path` and everything below it for an entry that the list
// protects; links are never entered. Failed (with `error`) when part of the
// tree could not be seen or the host asked to stop.
ScanResult ScanForProtected(const std::wstring& path, const ProtectedList& protectedList, DWORD& error,
                            ICleanupHost* host);

// Takes `path` apart around its protected entries: every other file goes to
// the Recycle Bin, every folder left empty is removed; `removals` (optional)
// hears of each. FALSE (with `error`) when anything could not be removed or seen.
BOOL TakeFolderApart(const std::wstring& path, const ProtectedList& protectedList, HWND owner, DWORD& error,
                     ICleanupHost* host, IRemovalLog* removals = nullptr);

// Number of shell delete calls made in this process since the last reset; the
// benchmark reads it to show how many calls a plan costs.
// The seconds spent checking that deleted objects are gone, likewise.
unsigned long long ShellDeleteCalls();
double VerifySeconds();
void ResetShellDeleteCalls();
void CountShellDeleteCall();
void CountVerifyTicks(long long ticks);
