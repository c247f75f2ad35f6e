#include "engine/deciding/Decision.h"

#include "engine/records/CleanupHost.h"
#include "support/ErrorText.h"

bool KeepGoing(ICleanupHost* host)
{
    return !host || host->KeepGoing();
}

ITEM_PATH ItemPath(const ITEM_2_DELETE& item)
{
    ITEM_PATH at;
    at.path = NormalizeFolderPath(item.strPath, FALSE);
    at.canonical = CanonicalPath(at.path);
    at.key = FoldPathCase(at.canonical);
    return at;
}

ITEM_DECISION DecideItem(const ITEM_2_DELETE& item, const ITEM_PATH& at, ObjectState state,
                         const ProtectedList& protectedList, ICleanupHost* host)
{
    // An item of an unknown type is a broken plan: it fails on its own,
    // whatever the protected list says.
    if (item.nType < DEL_TYPE_FILE || item.nType > DEL_TYPE_FOLDER_TREE) return {ItemAction::Refuse, ERROR_INVALID_DATA};
    const std::wstring& path = at.path;
    // A relative path would be resolved against whatever the current folder
    // happens to be.
    if (path.empty() || IsRelativePath(path)) return {ItemAction::Refuse, kErrorRelativePath};
    const bool isFolder = item.nType != DEL_TYPE_FILE;
    const ProtectedList::ANSWER protection = protectedList.LookCanonical(at.canonical, at.key, isFolder);
    if (protection.protects) return {ItemAction::Spare};

    switch (state) {
    case ObjectState::Missing: return {ItemAction::AlreadyGone};
    // Whatever a link points to lies outside the solution folder's own tree.
    case ObjectState::ReparsePoint: return {ItemAction::LeaveLink};
    case ObjectState::Other:
        // A file took the planned folder's name: left alone.
        if (item.nType == DEL_TYPE_FOLDER_NO_RECURSION || item.nType == DEL_TYPE_FOLDER_TREE)
            return {ItemAction::Refuse, ERROR_DIRECTORY};
        break;
    case ObjectState::Folder:
        // A folder took the planned file's name: it was never planned whole.
        if (!isFolder) return {ItemAction::Refuse, ERROR_BAD_FORMAT};
        break;
    }
    // Still holds something when reached: it stays, and that is not a failure.
    if (item.nType == DEL_TYPE_EMPTY_FOLDER) return {ItemAction::RemoveIfEmpty};

    // Only a folder with some entry below it is looked through.
    if (protection.entryBelow) {
        DWORD error = 0;
        switch (ScanForProtected(path, protectedList, error, host)) {
        case ScanResult::Failed: return {ItemAction::Refuse, error};   // part of the tree unseen: nothing of it goes
        case ScanResult::Found: return {ItemAction::TakeApart};
        case ScanResult::None: break;
        }
    }
    if (!ShellTakesPath(path)) return {ItemAction::Refuse, kErrorPathTooLongForShell};
    return {ItemAction::Recycle};
}

ScanResult ScanForProtected(const std::wstring& path, const ProtectedList& protectedList, DWORD& error,
                            ICleanupHost* host)
{
    ScanResult result = ScanResult::None;
    const LISTING_END end = ForEachEntry(path, [&](const WIN32_FIND_DATAW& e) {
        // Junctions, symbolic links and mount points are never matched or entered.
        if (DirListing::IsLink(e)) return true;
        const bool isDir = DirListing::IsDirectory(e);
        const std::wstring full = JoinPath(path, e.cFileName);
        if (protectedList.Protects(full, isDir)) result = ScanResult::Found;
        else if (isDir) result = ScanForProtected(full, protectedList, error, host);
        return result == ScanResult::None;
    });
    if (end.Failed()) {
        // A scan cannot vouch for what it did not see.
        error = end.error;
        return ScanResult::Failed;
    }
    if (!KeepGoing(host)) {
        error = ERROR_REQUEST_ABORTED;
        return ScanResult::Failed;
    }
    return result;
}
