#pragma once
// Undoing a clean-up: what a folder's most recent clean-up sent to the Recycle
// Bin comes back to its place, and the empty folders it removed are made again.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "engine/undo/RemovalJournal.h"
#include "engine/undo/RecycleBin.h"

struct RESTORE_FAILURE {
    std::wstring path;
    DWORD error = 0;   // 183: its place is taken; 2: no longer in the Recycle Bin
};

// What became of one folder's journal.
struct FOLDER_RESTORE {
    std::wstring folder;
    bool journaled = false;               // false: nothing to restore
    bool stopped = false;                 // asked to stop: the rest stays in the journal
    std::vector<std::wstring> restored;   // back in place (dry run: would come back)
    std::vector<RESTORE_FAILURE> failures;
};

// What a restore tells the front end that runs it, and asks of it; each may be empty.
struct RESTORE_EVENTS {
    // A folder's turn: `items` entries of its journal are to be restored.
    std::function<void(const std::wstring& folder, size_t items)> folderStarted;
    // After each entry of the folder: `done` of its `total`.
    std::function<void(UINT done, UINT total)> progress;
    // Between entries: false stops; what is not back yet stays in the journal.
    std::function<bool()> keepGoing;
};

// Restores the most recent clean-up of each of `folders` (each folder once,
// however it is spelt), with at most one look through the Recycle Bin for all
// of them. Only items that this clean-up put there are touched: the very item
// the shell named when it took it where the deleter was told it, otherwise
// one found by its original place, kind, size and deletion time within the
// clean-up. Each goes back only where nothing stands, and is checked in its
// place afterwards; the journal then holds only what is still in the bin. A
// dry run changes nothing, journals included. Two restores of one folder never
// run at once: the second fails with kErrorRestoreRunning. `owner` owns
// whatever the shell shows (may be null); no dialog of the shell's is waited on.
enum class RestoreMode { Restore, DryRun };
std::vector<FOLDER_RESTORE> RestoreCleanups(const std::vector<std::wstring>& folders, RestoreMode mode,
                                            HWND owner = nullptr, const RESTORE_EVENTS& events = {});

// Whether `item`, as the bin tells it, is the object that `entry` of a
// clean-up that began at `began` sent there: 0, or why not. An item bound by
// identity (the deleter's own record of it) must be of the entry's kind and,
// where the bin says, from the entry's folder; any time will do. An item found
// by listing must come from the entry's place, be of its kind, have been
// deleted during the clean-up, and, for a file whose size both know, be of its
// size: a time window alone never decides.
enum class BinLookup { ByIdentity, ByListing };
DWORD MatchBinItem(const JOURNAL_ENTRY& entry, ULONGLONG began, const BIN_ITEM& item, BinLookup how);

// The name of the mutex that a restore of `folder` holds while it runs.
std::wstring RestoreLockName(const std::wstring& folder);

// Where the restores of this process spent their time, in seconds: looking
// through the bin (listing it, binding items), the shell putting items back,
// and checking each in its place. The benchmark reads them.
struct RESTORE_TIMES {
    double finding = 0;
    double shell = 0;
    double checking = 0;
};
RESTORE_TIMES RestoreTimes();

// Items in the journal of `folder`'s most recent clean-up (0 when it has none).
size_t JournaledItemCount(const std::wstring& folder);

// The window's log line for a restored folder.
std::wstring RestoreResultLine(const FOLDER_RESTORE& result);

// The window's lines for a restored folder, oldest first: each item that did
// not come back (the first hundred, then how many more), how many did, and
// the result line.
std::vector<std::wstring> RestoreReportLines(const FOLDER_RESTORE& result);
