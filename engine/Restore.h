#pragma once
// Undoing a clean-up: what a folder's most recent clean-up sent to the Recycle
// Bin comes back to its place, and the empty folders it removed are made again.
#include <windows.h>
#include <string>
#include <vector>

struct RESTORE_FAILURE {
    std::wstring path;
    DWORD error = 0;   // 183: its place is taken; 2: no longer in the Recycle Bin
};

// What became of one folder's journal.
struct FOLDER_RESTORE {
    std::wstring folder;
    bool journaled = false;               // false: nothing to restore
    std::vector<std::wstring> restored;   // back in place (dry run: would come back)
    std::vector<RESTORE_FAILURE> failures;
};

// Restores the most recent clean-up of each of `folders`, with one look
// through the Recycle Bin for all of them. Only items that this clean-up put
// there are touched: found by their original path and a deletion time within
// the clean-up. Each is checked in its place afterwards; the journal then
// holds only what failed. A dry run changes nothing, journals included.
// `owner` owns whatever the shell shows (may be null).
enum class RestoreMode { Restore, DryRun };
std::vector<FOLDER_RESTORE> RestoreCleanups(const std::vector<std::wstring>& folders, RestoreMode mode,
                                            HWND owner = nullptr);

// Items in the journal of `folder`'s most recent clean-up (0 when it has none).
size_t JournaledItemCount(const std::wstring& folder);

// The window's log line for a restored folder.
std::wstring RestoreResultLine(const FOLDER_RESTORE& result);
