#include "engine/Executor.h"

#include <shellapi.h>
#include <new>
#include <vector>

#include "engine/CleanupHost.h"
#include "engine/CleanupRun.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace {

// Longest stretch of message handling and idle work between two items.
constexpr DWORD kPumpBudgetMs = 300;

// The shell's own answer for a path that does not exist (not a system code).
constexpr int kShellInvalidPath = 0x7C;

// An entry of the protected list of the given kind that names `path`.
bool IsNamedByProtectedList(const ProtectedList& protectedList, int isFolder, const std::wstring& path)
{
    for (const ITEM_2_KEEP& keep : protectedList)
        if (keep.isFolder == isFolder && PathsEqual(keep.path, path)) return true;
    return false;
}

// What stands at `path` right now, without following a link.
enum class ObjectState { Missing, Folder, ReparsePoint, Other };

ObjectState LookAt(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        DWORD code = ::GetLastError();
        return (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? ObjectState::Missing
                                                                                : ObjectState::Other;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return ObjectState::ReparsePoint;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ObjectState::Folder;
    return ObjectState::Other;
}

// One folder item (types 2 and 3): whole to the shell, or taken apart around
// the protected entries inside it. FALSE when it failed; `error` then says why.
bool DeleteFolderItem(const std::wstring& path, int type, const ProtectedList& protectedList, HWND owner,
                      DWORD& error, ICleanupHost* host)
{
    switch (LookAt(path)) {
    case ObjectState::Missing:
        // Already gone (an earlier item took it with it): as good as deleted.
        return true;
    case ObjectState::ReparsePoint:
        // A junction or link is never entered and never handed on: whatever
        // it points to lies outside the solution folder's own tree.
        return true;
    default:
        break;
    }

    if (!protectedList.empty()) {
        int s = CleanFolderTree(0, TRUE, path, protectedList, owner, error, host);
        if (s == -1) return false;   // part of the tree unseen: remove nothing of it
        if (s == 1) return CleanFolderTree(1, TRUE, path, protectedList, owner, error, host) != -1;
    }
    DWORD code = ShellDeleteItem(path, type == DEL_TYPE_FOLDER_NO_RECURSION ? kShellFlagsFolderNoRecursion
                                                                          : kShellFlagsFolderTree,
                                 owner);
    if (code != 0) {
        error = code;
        return false;
    }
    return true;
}

} // namespace

int IsProtected(int type, const ProtectedList& protectedList, const std::wstring& path)
{
    int isFolder;
    if (type == DEL_TYPE_FILE) {
        isFolder = 0;
    } else if (type >= DEL_TYPE_EMPTY_FOLDER && type <= DEL_TYPE_FOLDER_TREE) {
        isFolder = 1;
    } else {
        ::SetLastError(kErrorBadItemType);
        return -1;
    }
    // A relative path would be resolved against whatever the current folder
    // happens to be: never delete through one.
    if (path.empty() || IsRelativePath(path)) {
        ::SetLastError(kErrorRelativePath);
        return -1;
    }
    if (protectedList.empty()) return 1;
    return IsNamedByProtectedList(protectedList, isFolder, path) ? 0 : 1;
}

DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner)
{
    if (path.empty()) return static_cast<DWORD>(-1);

    // The shell takes a list of names, each NUL-terminated, the list ending in
    // a second NUL: here a list of exactly one name.
    std::vector<wchar_t> from;
    try {
        from.assign(path.size() + 2, L'\0');
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
    path.copy(from.data(), path.size());

    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.pTo = nullptr;
    op.fFlags = flags;
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = nullptr;
    CountShellDeleteCall();
    int result = ::SHFileOperationW(&op);

    if (result == 0) return op.fAnyOperationsAborted ? ERROR_GEN_FAILURE : 0;
    // Not found (2) and the shell's invalid path (0x7C): the object is already gone.
    if (result == ERROR_FILE_NOT_FOUND || result == kShellInvalidPath) return 0;
    return static_cast<DWORD>(result);
}

int CleanFolderTree(int mode, BOOL recurse, const std::wstring& path, const ProtectedList& protectedList,
                    HWND owner, DWORD& error, ICleanupHost* host)
{
    const bool deleting = mode == 1;
    const std::wstring base = NormalizeFolderPath(path, FALSE);

    DirListing listing;
    if (!listing.Open(base + L"\\")) {
        error = listing.EndError();
        return -1;
    }

    struct PENDING_ENTRY {
        bool isDir;
        std::wstring path;
    };
    std::vector<PENDING_ENTRY> pending;
    int result = 0;
    bool stopped = false;

    const WIN32_FIND_DATAW* entry = nullptr;
    while (!stopped && listing.Next(entry)) {
        const bool isDir = DirListing::IsDirectory(*entry);
        if (isDir && DirListing::IsDotOrDotDot(*entry)) continue;
        // Junctions, symbolic links and mount points are never matched,
        // deleted or entered, whether they stand for a file or a folder.
        if (DirListing::IsReparsePoint(*entry)) continue;

        std::wstring full = FormatText(L"%ls\\%ls", base.c_str(), entry->cFileName);
        const bool named = IsNamedByProtectedList(protectedList, isDir ? 1 : 0, full);

        if (!deleting) {
            if (named) {
                result = 1;
                stopped = true;
            } else if (isDir && recurse) {
                int r = CleanFolderTree(0, recurse, full, protectedList, owner, error, host);
                if (r != 0) {
                    result = r;
                    stopped = true;
                }
            }
            continue;
        }

        if (named) continue;   // kept, and so is everything inside it
        pending.push_back({isDir, full});
        if (isDir && recurse) {
            if (CleanFolderTree(1, recurse, full, protectedList, owner, error, host) == -1) result = -1;
        }
    }

    if (!stopped && listing.EndError() != ERROR_NO_MORE_FILES) {
        // The listing broke off: part of this folder was never seen. A scan
        // cannot vouch for what it did not see, and a take-apart that missed
        // entries has not cleaned the folder.
        error = listing.EndError();
        result = -1;
    }
    listing.Close();

    if (!PumpPendingMessages(host)) {
        error = ERROR_REQUEST_ABORTED;
        return -1;
    }
    if (!deleting) return result;

    for (const PENDING_ENTRY& p : pending) {
        if (p.isDir) {
            // Still holds a protected entry or a link: it stays, and that is fine.
            ::RemoveDirectoryW(p.path.c_str());
        } else {
            DWORD code = ShellDeleteItem(p.path, kShellFlagsFile, owner);
            if (code != 0) {
                error = code;
                result = -1;
            }
        }
        if (!PumpPendingMessages(host)) {
            error = ERROR_REQUEST_ABORTED;
            return -1;
        }
    }
    return result;
}

BOOL PumpPendingMessages(ICleanupHost* host)
{
    if (!host) return g_bAbortRequested ? FALSE : TRUE;

    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (g_bAbortRequested) return FALSE;
        if (!host->PumpMessage()) {
            // The main loop must still see the end of the application.
            ::PostQuitMessage(0);
            return FALSE;
        }
        if (::GetTickCount() - start > kPumpBudgetMs) break;
    }
    for (LONG count = 0; host->OnIdle(count); ++count) {
        if (g_bAbortRequested) return FALSE;
        if (::GetTickCount() - start > kPumpBudgetMs) break;
    }
    // A close request handled by the last message dispatched above must stop
    // the work now, not at the next item that happens to find a message queued.
    return g_bAbortRequested ? FALSE : TRUE;
}

BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL forward)
{
    BOOL ok = TRUE;
    DWORD error = 0;
    const size_t count = items.size();

    for (size_t step = 0; step < count; ++step) {
        const ITEM_2_DELETE& item = items[forward ? step : count - 1 - step];
        const std::wstring path = NormalizeFolderPath(item.strPath, FALSE);

        // An item of an unknown type is a broken plan: it fails on its own
        // (ERROR_INVALID_DATA), whatever the protected list says.
        const bool knownType = item.nType >= DEL_TYPE_FILE && item.nType <= DEL_TYPE_FOLDER_TREE;
        int r = knownType ? IsProtected(item.nType, protectedList, path) : 1;
        if (r == -1) {
            error = ::GetLastError();
            ok = FALSE;
        } else if (r == 1) {
            switch (item.nType) {
            case DEL_TYPE_FILE: {
                // A link is never handed to the shell (see DeleteFolderItem).
                if (LookAt(path) == ObjectState::ReparsePoint) break;
                DWORD code = ShellDeleteItem(path, kShellFlagsFile, owner);
                if (code != 0) {
                    error = code;
                    ok = FALSE;
                }
                break;
            }
            case DEL_TYPE_EMPTY_FOLDER:
                // Still holds something: it stays, and that is not a failure.
                ::RemoveDirectoryW(path.c_str());
                break;
            case DEL_TYPE_FOLDER_NO_RECURSION:
            case DEL_TYPE_FOLDER_TREE:
                if (!DeleteFolderItem(path, item.nType, protectedList, owner, error, progress.pHost)) ok = FALSE;
                break;
            default:
                error = ERROR_INVALID_DATA;
                ok = FALSE;
                break;
            }
        }

        if (progress.pHost) {
            if (progress.done < progress.total) ++progress.done;
            // 64-bit product: a plan of more than 262,143 items must not wrap.
            UINT pos = progress.total
                           ? static_cast<UINT>(static_cast<ULONGLONG>(progress.done) * kProgressRange / progress.total)
                           : 0;
            progress.pHost->PostProgressPos(pos);
            if (!PumpPendingMessages(progress.pHost)) {
                ok = FALSE;
                error = ERROR_REQUEST_ABORTED;
                break;
            }
        }
    }

    ::SetLastError(error);
    return ok;
}
