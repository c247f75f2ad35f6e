#include "engine/running/Executor.h"

#include <shellapi.h>
#include <deque>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "engine/records/CleanupHost.h"
#include "engine/deciding/Decision.h"
#include "engine/recycling/Counters.h"
#include "engine/recycling/Recycler.h"
#include "engine/records/RemovalLog.h"
#include "engine/recycling/DeleterChoice.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

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
    template <typename Failed>
    void Add(const std::wstring& path, Failed failed)
    {
        std::wstring folder = GetParentPath(path);
        if (folder != m_folder) Flush(failed);
        m_folder = std::move(folder);
        m_files.push_back(path);
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
            const std::wstring& file = m_files[i];
            // One file, or a folder whose listing broke off or never started
            // (gone with its files, or not): ask the file itself.
            if (!listing.Complete()) remains[i] = LookAt(file) != ObjectState::Missing;
            else remains[i] = present.count(FoldPathCase(FileNamePart(file))) != 0;
        }
        ::QueryPerformanceCounter(&end);
        CountVerifyTicks(end.QuadPart - start.QuadPart);
        for (size_t i = 0; i < m_files.size(); ++i)
            if (remains[i]) failed(m_files[i]);
        m_files.clear();
    }

private:
    std::wstring m_folder;
    std::vector<std::wstring> m_files;
};

// The road of one deletion pass to the Recycle Bin: the items it hands to
// the shell, in order, and what became of each. The shell answers for each
// item as it handles it, in batches where the deleter makes them; progress and
// the question whether to go on follow every answer.
class CDeletion {
    struct REMAINS;
public:
    // `progress` (null: no counts) advances with every plan item.
    CDeletion(ICleanupHost* host, IRemovalLog* removals, DELETE_PROGRESS* progress, HWND owner)
        : m_host(host), m_removals(removals), m_progress(progress),
          m_recycler(CreateRecycler(owner, Events()))
    {
    }

    BOOL Ok() const { return m_ok; }
    DWORD Error() const { return m_error; }
    size_t Failures() const { return m_failures; }

    // `told`: a line of the deleter's own already says why, for this item and
    // others like it; the item is not reported again on its own.
    void Fail(const std::wstring& path, DWORD code, bool told = false)
    {
        m_error = code;
        m_ok = FALSE;
        ++m_failures;
        if (m_host && !told) m_host->ItemFailed(path, code);
    }
    // A failure of the pass that is no item's (a stop, a take-apart that could not see everything).
    void FailPass(DWORD code)
    {
        m_error = code;
        m_ok = FALSE;
    }

    // Hands a plan item to the shell; its progress follows the shell's answer.
    // False: the host asked to stop.
    bool Recycle(const ITEM_2_DELETE& item, const std::wstring& path)
    {
        m_sent.push_back({path, item.nType != DEL_TYPE_FILE, true, item.bytes});
        return m_recycler->Add(path, item.nType == DEL_TYPE_FILE                  ? RecycleKind::File
                                     : item.nType == DEL_TYPE_FOLDER_NO_RECURSION ? RecycleKind::FolderNoRecursion
                                                                                  : RecycleKind::FolderTree) ||
               Stopped();
    }
    // A file of a folder taken apart, handled at once; false when it stayed.
    bool RecycleNow(const std::wstring& path, unsigned long long bytes)
    {
        const size_t failures = m_failures;
        m_sent.push_back({path, false, false, bytes});
        if (!m_recycler->Add(path, RecycleKind::File) || !m_recycler->Flush()) return Stopped();
        return m_failures == failures;
    }
    // Everything handed on is handled and checked: what follows may rely on it.
    bool Flush()
    {
        const bool goOn = m_recycler->Flush() || Stopped();
        m_goneCheck.Flush(Remains());
        return goOn;
    }
    // A plan item the pass dealt with itself is done. False: the host asked to stop.
    bool Advance(unsigned long long bytes)
    {
        if (!m_progress || !m_host) return true;
        if (m_progress->done < m_progress->total) ++m_progress->done;
        m_progress->bytes += bytes;
        m_host->Progress(m_progress->done, m_progress->total, m_progress->bytes);
        return m_host->KeepGoing() || Stopped();
    }
    void CheckFilesOfOtherFolders() { m_goneCheck.Flush(Remains()); }
    bool KeepGoing() { return ::KeepGoing(m_host); }
    bool WasStopped() const { return m_stopped; }
    void RemovedEmptyFolder(const std::wstring& path)
    {
        if (m_removals) m_removals->RemovedEmptyFolder(path);
    }

private:
    struct SENT_ITEM {
        std::wstring path;
        bool isFolder;
        bool planItem;   // false: a file of a folder taken apart
        unsigned long long bytes;
    };

    RECYCLER_EVENTS Events()
    {
        RECYCLER_EVENTS events;
        events.done = [this](const std::wstring& path, const RECYCLE_OUTCOME& outcome) { return Handled(path, outcome); };
        events.partRecycled = [this](const std::wstring& path, bool isFolder, const std::wstring& binItem) {
            if (m_removals) m_removals->Recycled({path, isFolder, NowFileTime(), binItem, ~0ull});
        };
        events.line = [this](const std::wstring& line) {
            if (m_host) m_host->Log(line);
        };
        return events;
    }

    // The shell has handled the oldest item sent.
    bool Handled(const std::wstring& path, const RECYCLE_OUTCOME& outcome)
    {
        const SENT_ITEM sent = std::move(m_sent.front());
        m_sent.pop_front();
        if (outcome.code != 0) {
            Fail(path, outcome.code, outcome.toldOnce);
            return !sent.planItem || Advance(sent.bytes);
        }
        // Written down as soon as the shell says it went, so that a run
        // killed before the check below can still be undone; an entry whose
        // object stayed after all finds its place taken, and is left alone.
        if (m_removals)
            m_removals->Recycled({path, sent.isFolder, NowFileTime(), outcome.binItem, sent.isFolder ? ~0ull : sent.bytes});
        if (sent.planItem && !sent.isFolder) {
            // Checked with the other files of its folder, against one listing.
            m_goneCheck.Add(path, Remains());
        } else if (!IsGone(path)) {
            // Trust, but verify: "success" means the object is no longer there.
            Fail(path, kErrorItemRemains);
        }
        return !sent.planItem || Advance(sent.bytes);
    }

    // A file the shell reported gone that is still there.
    struct REMAINS {
        CDeletion* self;
        void operator()(const std::wstring& file) const { self->Fail(file, kErrorItemRemains); }
    };
    REMAINS Remains() { return {this}; }
    bool Stopped()
    {
        m_stopped = true;
        return false;
    }

    ICleanupHost* m_host;
    IRemovalLog* m_removals;
    DELETE_PROGRESS* m_progress;
    CGoneCheck m_goneCheck;
    std::deque<SENT_ITEM> m_sent;
    std::unique_ptr<IRecycler> m_recycler;
    BOOL m_ok = TRUE;
    DWORD m_error = 0;
    size_t m_failures = 0;
    bool m_stopped = false;
};

// A take-apart that acts: files to the Recycle Bin, emptied folders removed.
class CTakeApartDeletion {
public:
    explicit CTakeApartDeletion(CDeletion& deletion) : m_deletion(deletion) {}

    void Spared(const std::wstring&, bool, unsigned long long) {}
    bool RemoveFile(const std::wstring& path, unsigned long long bytes, DWORD& error)
    {
        if (m_deletion.RecycleNow(path, bytes)) return true;
        error = m_deletion.WasStopped() ? ERROR_REQUEST_ABORTED : m_deletion.Error();
        return false;
    }
    void Refused(const std::wstring& path, DWORD error) { m_deletion.Fail(path, error); }
    void RemoveFolder(const std::wstring& path)
    {
        // Still holds a protected entry or a link: it stays, and that is fine.
        if (::RemoveDirectoryW(LongPathForm(path).c_str())) m_deletion.RemovedEmptyFolder(path);
    }
    bool KeepGoing() { return !m_deletion.WasStopped() && m_deletion.KeepGoing(); }

private:
    CDeletion& m_deletion;
};

} // namespace

BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL direction)
{
    ICleanupHost* host = progress.pHost;
    CDeletion pass(host, progress.pRemovals, &progress, owner);
    ForEachInPassOrder(items, direction, [&](const ITEM_2_DELETE& item) {
        const ITEM_PATH at = ItemPath(item);
        const std::wstring& path = at.path;
        // A remove-if-empty folder, and a folder scanned for protected entries
        // (and perhaps taken apart), rely on what came before being gone.
        const bool mayScan =
            item.nType != DEL_TYPE_FILE && protectedList.LookCanonical(at.canonical, at.key, true).entryBelow;
        if ((item.nType == DEL_TYPE_EMPTY_FOLDER || mayScan) && !pass.Flush()) return false;

        const ITEM_DECISION decision = DecideItem(item, at, LookAt(path), protectedList, host);
        if (decision.action == ItemAction::Recycle) return pass.Recycle(item, path);
        if (!pass.Flush()) return false;
        switch (decision.action) {
        case ItemAction::RemoveIfEmpty:
            if (::RemoveDirectoryW(LongPathForm(path).c_str())) pass.RemovedEmptyFolder(path);
            break;
        case ItemAction::TakeApart: {
            // Whatever fails inside is reported item by item.
            CTakeApartDeletion visitor(pass);
            DWORD error = 0;
            if (!WalkTakeApart(path, protectedList, visitor, error)) pass.FailPass(error);
            break;
        }
        case ItemAction::Refuse:
            // A stop during the scan is no failure of the item: the pass ends below.
            if (decision.error == ERROR_REQUEST_ABORTED) pass.FailPass(decision.error);
            else pass.Fail(path, decision.error);
            break;
        case ItemAction::Recycle:
        case ItemAction::Spare:
        case ItemAction::AlreadyGone:
        case ItemAction::LeaveLink:
            break;
        }
        // Other items may remove or need the folder of the files waiting to be checked.
        if (item.nType != DEL_TYPE_FILE) pass.CheckFilesOfOtherFolders();
        return !pass.WasStopped() && pass.Advance(item.bytes);
    });
    pass.Flush();
    if (pass.WasStopped()) pass.FailPass(ERROR_REQUEST_ABORTED);
    ::SetLastError(pass.Error());
    return pass.Ok();
}
