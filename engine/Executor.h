#pragma once
// Carries out a deletion plan: everything goes to the Recycle Bin through the
// shell; only folders that are already empty are removed outright.
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "engine/Plan.h"

// Shell flag sets of the three kinds of shell delete.
inline constexpr FILEOP_FLAGS kShellFlagsFile = 0x06D4;
inline constexpr FILEOP_FLAGS kShellFlagsFolderNoRecursion = 0x1654;
inline constexpr FILEOP_FLAGS kShellFlagsFolderTree = 0x0654;

// Codes the executor produces itself.
inline constexpr DWORD kErrorRelativePath = 0x2010;   // 8208: no path or a relative path
inline constexpr DWORD kErrorBadItemType = 0x2141;    // 8513: item type outside 0..3

// One pass over `items`, first to last (forward) or last to first. FALSE when
// any item failed; the last error is then the most recent failure's code
// (1235 when a stop request ended the pass).
BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL forward);

// 1: may be deleted; 0: the protected list names it; -1: error (last error set).
int IsProtected(int type, const ProtectedList& protectedList, const std::wstring& path);

// One shell delete to the Recycle Bin: 0 on success (a vanished object counts
// as deleted), otherwise an error code; (DWORD)-1 for an empty path.
DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner);

// mode 0 scans (1: a protected entry lies inside, 0: none, -1: failure);
// mode 1 takes the folder apart around its protected entries (0 or -1).
int CleanFolderTree(int mode, BOOL recurse, const std::wstring& path, const ProtectedList& protectedList,
                    HWND owner, DWORD& error, ICleanupHost* host);

// Dispatches what is already queued (at most ~300 ms) and idle work; FALSE
// when the work must stop (a close request, or the end of the application).
BOOL PumpPendingMessages(ICleanupHost* host);

// Number of shell delete calls made in this process since the last reset; the
// benchmark reads it to show how many calls a plan costs.
unsigned long long ShellDeleteCalls();
void ResetShellDeleteCalls();
void CountShellDeleteCall();
