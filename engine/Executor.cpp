#include "engine/Executor.h"

#include <shellapi.h>
#include <new>
#include <unordered_set>
#include <vector>

#include "engine/CleanupHost.h"
#include "engine/RemovalLog.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// The shell's own answer for a path that does not exist (not a system code).
constexpr int kShellInvalidPath = 0x7C;

// What stands at `path` right now, without following a link.
enum class ObjectState { Missing, Folder, ReparsePoint, Other };

ObjectState LookAt(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        DWORD code = ::GetLastError();
        return (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? ObjectState::Missing
                                                                                : ObjectState::Other;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return ObjectState::ReparsePoint;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ObjectState::Folder;
    return ObjectState::Other;
}

// After the shell said an object went: one attribute query proves it.
bool IsGone(const std::wstring& path)
{
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    const bool gone = LookAt(path) == ObjectState::Missing;
    ::QueryPerformanceCounter(&end);
    CountVerifyTicks(end.QuadPart - start.QuadPart);
    return gone;
}

// Files the shell reported removed, checked against one listing of their
// folder: on some file systems asking for a name that is gone costs a scan of
// the whole folder, while one listing serves every file of it. Files of one
// folder follow each other in a plan.
class CGoneCheck {
public:
    explicit CGoneCheck(IRemovalLog* removals) : m_removals(removals) {}   // hears of the files gone

    template <typename Failed>
    void Add(const std::wstring& path, Failed failed)
    {
        std::wstring folder = GetParentPath(path);
        if (folder != m_folder) Flush(failed);
        m_folder = std::move(folder);
        m_files.push_back(path);
    }

    // Calls `failed(path)` for every file added that is still there.
    template <typename Failed>
    void Flush(Failed failed)
    {
        if (m_files.empty()) return;
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        std::vector<std::wstring> remaining;
        DirListing listing;
        if (m_files.size() == 1 || !listing.Open(m_folder)) {
            // One file, or a folder that cannot be listed (gone with its files, or not): ask each.
            for (const std::wstring& file : m_files)
                if (LookAt(file) != ObjectState::Missing) remaining.push_back(file);
        } else {
            std::unordered_set<std::wstring> present;
            const WIN32_FIND_DATAW* entry = nullptr;
            while (listing.Next(entry)) present.insert(FoldPathCase(entry->cFileName));
            const bool complete = listing.EndError() == ERROR_NO_MORE_FILES;
            for (const std::wstring& file : m_files) {
                const bool listed = present.count(FoldPathCase(FileNamePart(file))) != 0;
                if (listed || (!complete && LookAt(file) != ObjectState::Missing)) remaining.push_back(file);
            }
        }
        ::QueryPerformanceCounter(&end);
        CountVerifyTicks(end.QuadPart - start.QuadPart);
        LogRecycledFiles(m_removals, m_files, remaining);
        m_files.clear();
        for (const std::wstring& file : remaining) failed(file);
    }

private:
    IRemovalLog* m_removals;
    std::wstring m_folder;
    std::vector<std::wstring> m_files;
};

// While the shell works on one item, every dialog window that it opens on this
// thread is answered No. With the flags in use the only one it can open is its
// warning before it destroys an item that the Recycle Bin cannot take: the
// item then stays where it is. Nobody has to answer, console or window.
class ScopedDestroyRefusal {
public:
    ScopedDestroyRefusal() noexcept
    {
        t_refused = false;
        m_hook.reset(::SetWindowsHookExW(WH_CBT, &Watch, nullptr, ::GetCurrentThreadId()));
    }
    bool Refused() const noexcept { return t_refused; }

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND) {
            const HWND window = reinterpret_cast<HWND>(wParam);
            const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
            wchar_t className[16] = L"";
            if (!(create->lpcs->style & WS_CHILD) && ::GetClassNameW(window, className, 16) &&
                wcscmp(className, L"#32770") == 0) {
                t_refused = true;
                ::PostMessageW(window, WM_COMMAND, IDNO, 0);
                ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline thread_local bool t_refused = false;
    UniqueHook m_hook;
};

// The shell offered to destroy `path` instead of recycling it, and was told
// No. Some shells ask this for an object that has vanished meanwhile, or one
// that another program holds open: say which, else that the bin refused it.
DWORD WhyNotRecycled(const std::wstring& path)
{
    switch (LookAt(path)) {
    case ObjectState::Missing: return 0;
    case ObjectState::Folder: return kErrorRecycleBinRefused;
    default: break;
    }
    UniqueFile probe(::CreateFileW(LongPathForm(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!probe) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION)
            return error;
    }
    return kErrorRecycleBinRefused;
}

// Between items and folder levels: false when the host asked to stop.
bool KeepGoing(ICleanupHost* host)
{
    return !host || host->KeepGoing();
}

// One folder item (types 2 and 3): whole to the shell, or taken apart around
// the protected entries inside it. FALSE when it failed; `error` then says why.
bool DeleteFolderItem(const std::wstring& path, int type, const ProtectedList& protectedList, HWND owner,
                      DWORD& error, ICleanupHost* host, IRemovalLog* removals)
{
    switch (LookAt(path)) {
    case ObjectState::Missing:
        // Already gone (an earlier item took it with it): as good as deleted.
        return true;
    case ObjectState::ReparsePoint:
        // A junction or link is never entered and never handed on: whatever
        // it points to lies outside the solution folder's own tree.
        return true;
    case ObjectState::Other:
        // Not the folder that was planned (a file took its name): left alone.
        error = ERROR_DIRECTORY;
        if (host) host->ItemFailed(path, error);
        return false;
    case ObjectState::Folder:
        break;
    }

    // Only a folder with some entry below it is looked through.
    if (protectedList.HasEntryBelow(path)) {
        switch (ScanForProtected(path, protectedList, error, host)) {
        case ScanResult::Failed:
            // Part of the tree unseen: nothing of it is removed.
            if (host && error != ERROR_REQUEST_ABORTED) host->ItemFailed(path, error);
            return false;
        case ScanResult::Found:
            // Whatever fails inside is reported item by item.
            return TakeFolderApart(path, protectedList, owner, error, host, removals) != FALSE;
        case ScanResult::None:
            break;
        }
    }
    DWORD code = ShellDeleteItem(path, type == DEL_TYPE_FOLDER_NO_RECURSION ? kShellFlagsFolderNoRecursion
                                                                          : kShellFlagsFolderTree,
                                 owner);
    if (code != 0) {
        error = code;
        if (host) host->ItemFailed(path, code);
        return false;
    }
    LogRecycled(removals, path, true);
    return true;
}

} // namespace

DWORD CheckPlannedItem(int type, const std::wstring& path)
{
    if (type < DEL_TYPE_FILE || type > DEL_TYPE_FOLDER_TREE) return kErrorBadItemType;
    // A relative path would be resolved against whatever the current folder
    // happens to be: never delete through one.
    if (path.empty() || IsRelativePath(path)) return kErrorRelativePath;
    return 0;
}

bool IsProtectedItem(int type, const ProtectedList& protectedList, const std::wstring& path)
{
    return !protectedList.empty() && protectedList.Protects(path, type != DEL_TYPE_FILE);
}

DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner, bool verify)
{
    if (path.empty()) return static_cast<DWORD>(-1);
    // The shell knows only the ordinary form, which would name another object
    // (or none): such an item fails on its own.
    if (HasStrippedComponent(path)) return ERROR_INVALID_NAME;

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
    ScopedDestroyRefusal refusal;
    const int result = ::SHFileOperationW(&op);

    DWORD code = static_cast<DWORD>(result);
    if (refusal.Refused()) code = WhyNotRecycled(path);
    else if (result == 0) code = op.fAnyOperationsAborted ? ERROR_GEN_FAILURE : 0;
    // Not found (2) and the shell's invalid path (0x7C): the object is already gone.
    else if (result == ERROR_FILE_NOT_FOUND || result == kShellInvalidPath) code = 0;
    // Trust, but verify: "success" means the object is no longer there.
    if (verify && code == 0 && !IsGone(path)) code = kErrorItemRemains;
    return code;
}

ScanResult ScanForProtected(const std::wstring& path, const ProtectedList& protectedList, DWORD& error,
                            ICleanupHost* host)
{
    DirListing listing;
    if (!listing.Open(path)) {
        error = listing.EndError();
        return ScanResult::Failed;
    }
    ScanResult result = ScanResult::None;
    const WIN32_FIND_DATAW* entry = nullptr;
    while (result == ScanResult::None && listing.Next(entry)) {
        // Junctions, symbolic links and mount points are never matched or entered.
        if (DirListing::IsLink(*entry)) continue;
        const bool isDir = DirListing::IsDirectory(*entry);
        const std::wstring full = JoinPath(path, entry->cFileName);
        if (protectedList.Protects(full, isDir)) result = ScanResult::Found;
        else if (isDir) result = ScanForProtected(full, protectedList, error, host);
    }
    if (result == ScanResult::None && listing.EndError() != ERROR_NO_MORE_FILES) {
        // The listing broke off: a scan cannot vouch for what it did not see.
        error = listing.EndError();
        result = ScanResult::Failed;
    }
    listing.Close();
    if (!KeepGoing(host)) {
        error = ERROR_REQUEST_ABORTED;
        return ScanResult::Failed;
    }
    return result;
}

BOOL TakeFolderApart(const std::wstring& path, const ProtectedList& protectedList, HWND owner, DWORD& error,
                     ICleanupHost* host, IRemovalLog* removals)
{
    DirListing listing;
    if (!listing.Open(path)) {
        error = listing.EndError();
        return FALSE;
    }
    struct PENDING_ENTRY {
        bool isDir;
        std::wstring path;
    };
    std::vector<PENDING_ENTRY> pending;
    BOOL ok = TRUE;
    const WIN32_FIND_DATAW* entry = nullptr;
    while (listing.Next(entry)) {
        if (DirListing::IsLink(*entry)) continue;
        const bool isDir = DirListing::IsDirectory(*entry);
        std::wstring full = JoinPath(path, entry->cFileName);
        if (protectedList.Protects(full, isDir)) continue;   // kept, and so is everything inside it
        // A folder is taken apart at once; it is removed after this listing
        // is closed, if it is empty by then.
        if (isDir && !TakeFolderApart(full, protectedList, owner, error, host, removals)) ok = FALSE;
        pending.push_back({isDir, std::move(full)});
    }
    if (listing.EndError() != ERROR_NO_MORE_FILES) {
        // The listing broke off: a take-apart that missed entries has not
        // cleaned the folder.
        error = listing.EndError();
        ok = FALSE;
    }
    listing.Close();

    if (!KeepGoing(host)) {
        error = ERROR_REQUEST_ABORTED;
        return FALSE;
    }
    for (const PENDING_ENTRY& p : pending) {
        if (p.isDir) {
            // Still holds a protected entry or a link: it stays, and that is fine.
            if (::RemoveDirectoryW(LongPathForm(p.path).c_str())) LogRemovedEmptyFolder(removals, p.path);
        } else {
            DWORD code = ShellDeleteItem(p.path, kShellFlagsFile, owner);
            if (code != 0) {
                error = code;
                ok = FALSE;
                if (host) host->ItemFailed(p.path, code);
            } else {
                LogRecycled(removals, p.path, false);
            }
        }
        if (!KeepGoing(host)) {
            error = ERROR_REQUEST_ABORTED;
            return FALSE;
        }
    }
    return ok;
}

BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL forward)
{
    BOOL ok = TRUE;
    DWORD error = 0;
    const size_t count = items.size();
    ICleanupHost* host = progress.pHost;
    CGoneCheck goneCheck(progress.pRemovals);
    auto remains = [&](const std::wstring& file) {
        error = kErrorItemRemains;
        ok = FALSE;
        if (host) host->ItemFailed(file, kErrorItemRemains);
    };

    for (size_t step = 0; step < count; ++step) {
        const ITEM_2_DELETE& item = items[forward ? step : count - 1 - step];
        const std::wstring path = NormalizeFolderPath(item.strPath, FALSE);

        // An item of an unknown type is a broken plan: it fails on its own
        // (ERROR_INVALID_DATA), whatever the protected list says.
        const bool knownType = item.nType >= DEL_TYPE_FILE && item.nType <= DEL_TYPE_FOLDER_TREE;
        const DWORD refusal = knownType ? CheckPlannedItem(item.nType, path) : 0;
        DWORD itemError = 0;
        if (refusal != 0) {
            itemError = refusal;
        } else if (!IsProtectedItem(item.nType, protectedList, path)) {
            switch (item.nType) {
            case DEL_TYPE_FILE:
                // A link is never handed to the shell (see DeleteFolderItem).
                if (LookAt(path) == ObjectState::ReparsePoint) break;
                itemError = ShellDeleteItem(path, kShellFlagsFile, owner, /*verify*/ false);
                if (itemError == 0) goneCheck.Add(path, remains);
                break;
            case DEL_TYPE_EMPTY_FOLDER:
                // Still holds something: it stays, and that is not a failure.
                if (::RemoveDirectoryW(LongPathForm(path).c_str())) LogRemovedEmptyFolder(progress.pRemovals, path);
                break;
            case DEL_TYPE_FOLDER_NO_RECURSION:
            case DEL_TYPE_FOLDER_TREE:
                if (!DeleteFolderItem(path, item.nType, protectedList, owner, error, host, progress.pRemovals)) ok = FALSE;
                break;
            default:
                itemError = ERROR_INVALID_DATA;
                break;
            }
        }
        // Other items may remove or need the folder of the files waiting to be checked.
        if (item.nType != DEL_TYPE_FILE) goneCheck.Flush(remains);
        if (itemError != 0) {
            error = itemError;
            ok = FALSE;
            if (host) host->ItemFailed(path, itemError);
        }

        if (host) {
            if (progress.done < progress.total) ++progress.done;
            progress.bytes += item.bytes;
            host->Progress(progress.done, progress.total, progress.bytes);
            if (!host->KeepGoing()) {
                goneCheck.Flush(remains);
                ok = FALSE;
                error = ERROR_REQUEST_ABORTED;
                break;
            }
        }
    }
    goneCheck.Flush(remains);

    ::SetLastError(error);
    return ok;
}
