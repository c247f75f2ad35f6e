#include "engine/Executor.h"

#include <shellapi.h>
#include <new>
#include <unordered_set>
#include <vector>

#include "engine/CleanupHost.h"
#include "engine/Decision.h"
#include "engine/DestroyRefusal.h"
#include "engine/RemovalLog.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// The shell's own answer for a path that does not exist (not a system code).
constexpr int kShellInvalidPath = 0x7C;

ULONGLONG Now()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
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
    explicit CGoneCheck(IRemovalLog* removals) : m_removals(removals) {}

    template <typename Failed>
    void Add(const std::wstring& path, ULONGLONG when, Failed failed)
    {
        std::wstring folder = GetParentPath(path);
        if (folder != m_folder) Flush(failed);
        m_folder = std::move(folder);
        m_files.push_back({path, when});
    }

    // Calls `failed(path)` for every file added that is still there; the others
    // are in the Recycle Bin now.
    template <typename Failed>
    void Flush(Failed failed)
    {
        if (m_files.empty()) return;
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        std::vector<bool> remains(m_files.size(), false);
        std::unordered_set<std::wstring> present;
        const LISTING_END listing = m_files.size() == 1
                                        ? LISTING_END{ERROR_NO_MORE_FILES, false, false}
                                        : ForEachEntry(m_folder, [&](const WIN32_FIND_DATAW& e) {
                                              present.insert(FoldPathCase(e.cFileName));
                                          });
        for (size_t i = 0; i < m_files.size(); ++i) {
            const std::wstring& file = m_files[i].path;
            // One file, or a folder whose listing broke off or never started
            // (gone with its files, or not): ask the file itself.
            if (!listing.Complete()) remains[i] = LookAt(file) != ObjectState::Missing;
            else remains[i] = present.count(FoldPathCase(FileNamePart(file))) != 0;
        }
        ::QueryPerformanceCounter(&end);
        CountVerifyTicks(end.QuadPart - start.QuadPart);
        for (size_t i = 0; i < m_files.size(); ++i) {
            if (remains[i]) failed(m_files[i].path);
            else if (m_removals) m_removals->Recycled(m_files[i].path, false, m_files[i].when);
        }
        m_files.clear();
    }

private:
    struct SENT_FILE {
        std::wstring path;
        ULONGLONG when;
    };
    IRemovalLog* m_removals;
    std::wstring m_folder;
    std::vector<SENT_FILE> m_files;
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

// A take-apart that acts: files to the Recycle Bin, emptied folders removed.
class CTakeApart {
public:
    CTakeApart(HWND owner, const DELETE_PROGRESS& progress) : m_owner(owner), m_progress(progress) {}

    void Spared(const std::wstring&, bool, unsigned long long) {}
    bool RemoveFile(const std::wstring& path, unsigned long long, DWORD& error)
    {
        const DWORD code = ShellDeleteItem(path, kShellFlagsFile, m_owner);
        if (code == 0) {
            if (m_progress.pRemovals) m_progress.pRemovals->Recycled(path, false, Now());
            return true;
        }
        error = code;
        if (m_progress.pHost) m_progress.pHost->ItemFailed(path, code);
        return false;
    }
    void RemoveFolder(const std::wstring& path)
    {
        // Still holds a protected entry or a link: it stays, and that is fine.
        if (::RemoveDirectoryW(LongPathForm(path).c_str()) && m_progress.pRemovals)
            m_progress.pRemovals->RemovedEmptyFolder(path);
    }
    bool KeepGoing() { return ::KeepGoing(m_progress.pHost); }

private:
    HWND m_owner;
    const DELETE_PROGRESS& m_progress;
};

} // namespace

DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner, GoneCheck check)
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
    if (check == GoneCheck::Now && code == 0 && !IsGone(path)) code = kErrorItemRemains;
    return code;
}

BOOL TakeFolderApart(const std::wstring& path, const ProtectedList& protectedList, HWND owner, DWORD& error,
                     const DELETE_PROGRESS& progress)
{
    CTakeApart visitor(owner, progress);
    return WalkTakeApart(path, protectedList, visitor, error);
}

BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL direction)
{
    BOOL ok = TRUE;
    DWORD error = 0;
    ICleanupHost* host = progress.pHost;
    IRemovalLog* removals = progress.pRemovals;
    CGoneCheck goneCheck(removals);
    auto fail = [&](const std::wstring& path, DWORD code) {
        error = code;
        ok = FALSE;
        if (host) host->ItemFailed(path, code);
    };
    auto remains = [&](const std::wstring& file) { fail(file, kErrorItemRemains); };

    ForEachInPassOrder(items, direction, [&](const ITEM_2_DELETE& item) {
        const std::wstring path = NormalizeFolderPath(item.strPath, FALSE);
        const ITEM_DECISION decision = DecideItem(item, LookAt(path), protectedList, host);
        switch (decision.action) {
        case ItemAction::Recycle:
            if (item.nType == DEL_TYPE_FILE) {
                // Checked with the other files of its folder, against one listing.
                const DWORD code = ShellDeleteItem(path, kShellFlagsFile, owner, GoneCheck::ByCaller);
                if (code == 0) goneCheck.Add(path, Now(), remains);
                else fail(path, code);
            } else {
                const DWORD code = ShellDeleteItem(
                    path, item.nType == DEL_TYPE_FOLDER_NO_RECURSION ? kShellFlagsFolderNoRecursion : kShellFlagsFolderTree,
                    owner);
                if (code != 0) fail(path, code);
                else if (removals) removals->Recycled(path, true, Now());
            }
            break;
        case ItemAction::RemoveIfEmpty:
            if (::RemoveDirectoryW(LongPathForm(path).c_str()) && removals) removals->RemovedEmptyFolder(path);
            break;
        case ItemAction::TakeApart:
            // Whatever fails inside is reported item by item.
            if (!TakeFolderApart(path, protectedList, owner, error, progress)) ok = FALSE;
            break;
        case ItemAction::Refuse:
            // A stop during the scan is no failure of the item: the pass ends below.
            if (decision.error == ERROR_REQUEST_ABORTED) {
                error = decision.error;
                ok = FALSE;
            } else {
                fail(path, decision.error);
            }
            break;
        case ItemAction::Spare:
        case ItemAction::AlreadyGone:
        case ItemAction::LeaveLink:
            break;
        }
        // Other items may remove or need the folder of the files waiting to be checked.
        if (item.nType != DEL_TYPE_FILE) goneCheck.Flush(remains);

        if (!host) return true;
        if (progress.done < progress.total) ++progress.done;
        progress.bytes += item.bytes;
        host->Progress(progress.done, progress.total, progress.bytes);
        if (host->KeepGoing()) return true;
        goneCheck.Flush(remains);
        ok = FALSE;
        error = ERROR_REQUEST_ABORTED;
        return false;
    });
    goneCheck.Flush(remains);

    ::SetLastError(error);
    return ok;
}
