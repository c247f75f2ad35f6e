#pragma once
// What becomes of each planned item, and of each entry of a folder taken apart
// around protected entries: decided here once, for the deletion that acts on it
// and for the dry run that only reports it.
#include <windows.h>
#include <string>
#include <vector>

#include "engine/records/PlanRecords.h"
#include "support/DirListing.h"
#include "support/PathState.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"



enum class ItemAction {
    Recycle,        // to the Recycle Bin whole
    RemoveIfEmpty,  // removed outright, and only if it is empty when reached
    TakeApart,      // a folder with protected entries below it: emptied around them
    Spare,          // a do-not-delete file names it: it stays
    AlreadyGone,    // nothing stands there any more (an earlier item took it): as good as removed
    LeaveLink,      // a junction or link: never entered and never handed on; it stays
    Refuse,         // it stays, and fails with `error`
};

struct ITEM_DECISION {
    ItemAction action = ItemAction::Refuse;
    DWORD error = 0;   // Refuse: why
};

// A planned item's path as its decision reads it, spelled once: trimmed and
// without a trailing separator (`path`, what is looked at and removed), and
// that path's canonical spelling and folded key (what the protected list is asked).
struct ITEM_PATH {
    std::wstring path;
    std::wstring canonical;
    std::wstring key;
};
ITEM_PATH ItemPath(const ITEM_2_DELETE& item);

// Decides `item`, whose path `at` is spelled by ItemPath, given what stands
// there (`state`: looked at just before the deletion, or as the planning walk
// saw it). A folder with protected entries below it is scanned, which asks
// `host` whether to go on: a stop refuses the item with ERROR_REQUEST_ABORTED.
ITEM_DECISION DecideItem(const ITEM_2_DELETE& item, const ITEM_PATH& at, ObjectState state,
                         const ProtectedList& protectedList, ICleanupHost* host);

// What a scan of a folder for protected entries found.
enum class ScanResult { None, Found, Failed };

// Looks through `path` and everything below it for an entry that the list
// protects; links are never entered. Failed (with `error`) when part of the
// tree could not be seen or the host asked to stop.
ScanResult ScanForProtected(const std::wstring& path, const ProtectedList& protectedList, DWORD& error,
                            ICleanupHost* host);

// Between items and folder levels: false when the host asked to stop.
bool KeepGoing(ICleanupHost* host);

// How a folder is taken apart: what the protected list names stays, with
// everything inside it, and so do links; every other folder is taken apart
// first, while its parent is listed; then, once the parent's listing is
// closed, its files go and its emptied folders are removed, in listing order.
// `visitor` hears of it all:
//   Spared(path, isFolder, bytes)      an entry that stays
//   RemoveFile(path, bytes, error)     a file to remove; false (with `error`) when it could not be
//   Refused(path, error)               a file that stays, refused before the shell (its path is too long)
//   RemoveFolder(path)                 a folder emptied but for what stays in it
//   KeepGoing()                        false stops the work (ERROR_REQUEST_ABORTED)
// FALSE (with `error`) when anything could not be removed or seen.
template <typename Visitor>
BOOL WalkTakeApart(const std::wstring& path, const ProtectedList& protectedList, Visitor& visitor, DWORD& error)
{
    struct PENDING_ENTRY {
        bool isDir;
        std::wstring path;
        unsigned long long bytes;
    };
    std::vector<PENDING_ENTRY> pending;
    BOOL ok = TRUE;
    const LISTING_END end = ForEachEntry(path, [&](const WIN32_FIND_DATAW& e) {
        if (DirListing::IsLink(e)) return;
        const bool isDir = DirListing::IsDirectory(e);
        std::wstring full = JoinPath(path, e.cFileName);
        if (protectedList.Protects(full, isDir)) {
            visitor.Spared(full, isDir, isDir ? 0 : DirListing::FileBytes(e));
            return;
        }
        if (isDir && !WalkTakeApart(full, protectedList, visitor, error)) ok = FALSE;
        pending.push_back({isDir, std::move(full), DirListing::FileBytes(e)});
    });
    if (end.Failed()) {
        // A take-apart that missed entries has not cleaned the folder.
        error = end.error;
        ok = FALSE;
    }
    if (!visitor.KeepGoing()) {
        error = ERROR_REQUEST_ABORTED;
        return FALSE;
    }
    for (const PENDING_ENTRY& p : pending) {
        if (p.isDir) {
            visitor.RemoveFolder(p.path);
        } else if (!ShellTakesPath(p.path)) {
            error = kErrorPathTooLongForShell;
            visitor.Refused(p.path, error);
            ok = FALSE;
        } else if (!visitor.RemoveFile(p.path, p.bytes, error)) {
            ok = FALSE;
        }
        if (!visitor.KeepGoing()) {
            error = ERROR_REQUEST_ABORTED;
            return FALSE;
        }
    }
    return ok;
}
