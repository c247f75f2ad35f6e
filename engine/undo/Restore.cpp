#include "engine/undo/Restore.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/DestroyPromptHook.h"
#include "engine/recycling/Recycler.h"
#include "support/ComInit.h"
#include "support/ErrorText.h"
#include "support/PathState.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// Clocks and the rounding of deletion dates: an item counts as deleted during
// the clean-up when its date lies this close to it.
constexpr ULONGLONG kTimeSlack = 2 * kFileTimeTicksPerSecond;
// Items handed to the bin's own restore command in one request: the first
// few, so that progress shows and a stop is heard early; then twice as many
// each time, for Wine's cost of a request grows with the size of the bin.
constexpr size_t kFirstRestoreBatch = 100;
constexpr size_t kLastRestoreBatch = 8192;

using KeySet = std::unordered_set<std::wstring>;

RESTORE_TIMES g_times;

// Adds the time from its making to its end to one of g_times' figures.
class CTimed {
public:
    explicit CTimed(double& total) : m_total(total) { ::QueryPerformanceCounter(&m_start); }
    ~CTimed()
    {
        LARGE_INTEGER end, frequency;
        ::QueryPerformanceCounter(&end);
        ::QueryPerformanceFrequency(&frequency);
        m_total += static_cast<double>(end.QuadPart - m_start.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    CTimed(const CTimed&) = delete;
    CTimed& operator=(const CTimed&) = delete;

private:
    double& m_total;
    LARGE_INTEGER m_start;
};

// TRUE when a folder of `folders` (path keys) lies above `key`.
bool HasAncestorIn(const std::wstring& key, const KeySet& folders)
{
    if (folders.empty()) return false;
    for (size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut > 0; cut = key.rfind(L'\\', cut - 1))
        if (folders.count(key.substr(0, cut))) return true;
    return false;
}

// TRUE when `key` is `folder` or lies below it (both path keys).
bool IsAtOrBelow(const std::wstring& key, const std::wstring& folder)
{
    return key.compare(0, folder.size(), folder) == 0 &&
           (key.size() == folder.size() || folder.back() == L'\\' || key[folder.size()] == L'\\');
}

// The path keys of the folders among `entries` that went to the bin whole.
KeySet RecycledFolders(const std::vector<JOURNAL_ENTRY*>& entries)
{
    KeySet folders;
    for (const JOURNAL_ENTRY* e : entries)
        if (e->kind == JournalKind::Folder) folders.insert(PathKey(e->path));
    return folders;
}

// 0 when nothing stands at `path`, ERROR_ALREADY_EXISTS when something does,
// otherwise the error that keeps it from being seen.
DWORD PlaceState(const std::wstring& path)
{
    DWORD unseen = 0;
    if (LookAt(path, &unseen) == ObjectState::Missing) return 0;
    return unseen ? unseen : ERROR_ALREADY_EXISTS;
}

bool IsFolderAt(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The entry's own kind of object stands at its place again.
bool IsBack(const JOURNAL_ENTRY& entry)
{
    DWORD unseen = 0;
    const ObjectState state = LookAt(entry.path, &unseen);
    if (unseen) return false;
    if (state == ObjectState::Folder) return entry.kind != JournalKind::File;
    return state == ObjectState::Other && entry.kind == JournalKind::File;
}

// Makes `path` a folder, with the folders above it that are missing. 0, or
// ERROR_ALREADY_EXISTS when something else stands there, or the error.
DWORD MakeFolder(const std::wstring& path)
{
    if (::CreateDirectoryW(LongPathForm(path).c_str(), nullptr)) return 0;
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return IsFolderAt(path) ? 0 : ERROR_ALREADY_EXISTS;
    const std::wstring parent = GetParentPath(path);
    if (error != ERROR_PATH_NOT_FOUND || parent.empty() || parent.size() >= path.size()) return error;
    error = MakeFolder(parent);
    if (error != 0) return error;
    return ::CreateDirectoryW(LongPathForm(path).c_str(), nullptr) ? 0 : ::GetLastError();
}

// Held while a folder's journal is restored: a second restore of the same
// folder, in this process or another of the session, finds it taken. A named
// mutex, not a file: nothing on disk to be planted, and gone with its holder.
class CRestoreLock {
public:
    explicit CRestoreLock(const std::wstring& folder)
        : m_mutex(::CreateMutexW(nullptr, FALSE, RestoreLockName(folder).c_str()))
    {
        if (!m_mutex) {
            m_error = ::GetLastError();
            return;
        }
        const DWORD wait = ::WaitForSingleObject(m_mutex.get(), 0);
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;   // abandoned: its holder ended
        if (!m_held) m_error = kErrorRestoreRunning;
    }
    ~CRestoreLock()
    {
        if (m_held) ::ReleaseMutex(m_mutex.get());
    }
    CRestoreLock(const CRestoreLock&) = delete;
    CRestoreLock& operator=(const CRestoreLock&) = delete;
    // 0, kErrorRestoreRunning, or why it could not be taken.
    DWORD Error() const { return m_error; }

private:
    UniqueKernel m_mutex;
    bool m_held = false;
    DWORD m_error = 0;
};

// Where the bin's items come from: bound one by one from the deleter's
// record of them, or listed once for every folder of the restore.
class CBinSource {
public:
    explicit CBinSource(const std::unordered_set<std::wstring>& listedNames) : m_names(listedNames) {}

    // The bin, opened (and listed) when first asked for. 0 or the error.
    DWORD Listing(std::unordered_multimap<std::wstring, BIN_ITEM*>*& byPath)
    {
        if (!m_opened) {
            m_opened = true;
            m_error = m_bin.Open();
            if (m_error == 0 && !m_names.empty())
                m_error = m_bin.List([&](const std::wstring& name) { return m_names.count(name) != 0; }, m_items);
            for (BIN_ITEM& item : m_items) m_byPath.emplace(FoldPathCase(item.originalPath), &item);
        }
        byPath = &m_byPath;
        return m_error;
    }
    CRecycleBin& Bin() { return m_bin; }
    CBinItemBinder& Binder() { return m_binder; }

    // Which of `items` the bin still holds, by a fresh look through it; where
    // the bin cannot be listed, all of them (nothing is taken for back unseen).
    std::vector<bool> StillInBin(const std::vector<const BIN_ITEM*>& items)
    {
        std::unordered_set<std::wstring> names;
        for (const BIN_ITEM* item : items) names.insert(FoldPathCase(FileNamePart(item->originalPath)));
        std::vector<BIN_ITEM> now;
        if (m_bin.List([&](const std::wstring& name) { return names.count(name) != 0; }, now) != 0)
            return std::vector<bool>(items.size(), true);
        std::vector<bool> left(items.size(), false);
        for (size_t k = 0; k < items.size(); ++k)
            for (const BIN_ITEM& n : now)
                if (n.kind == items[k]->kind && n.deletedFirst == items[k]->deletedFirst &&
                    n.deletedLast == items[k]->deletedLast && PathKey(n.originalPath) == PathKey(items[k]->originalPath))
                    left[k] = true;
        return left;
    }

private:
    const std::unordered_set<std::wstring>& m_names;
    CRecycleBin m_bin;
    CBinItemBinder m_binder;
    bool m_opened = false;
    DWORD m_error = 0;
    std::vector<BIN_ITEM> m_items;
    std::unordered_multimap<std::wstring, BIN_ITEM*> m_byPath;
};

// The restore of one folder's journal.
class CFolderRestore {
public:
    CFolderRestore(CLEANUP_JOURNAL& journal, FOLDER_RESTORE& result, bool dryRun, HWND owner,
                   const RESTORE_EVENTS& events, bool moveItems)
        : m_journal(journal), m_result(result), m_dryRun(dryRun), m_owner(owner), m_events(events),
          m_moveItems(moveItems) {}

    void Run(CBinSource& source)
    {
        // A line that names a place outside this folder, or no full path, was
        // never written by a clean-up of it: it is refused and forgotten.
        const std::wstring folderKey = PathKey(m_journal.folder);
        std::vector<JOURNAL_ENTRY*> empties, recycled;
        for (JOURNAL_ENTRY& e : m_journal.entries) {
            if (IsRelativePath(e.path) || !IsAtOrBelow(PathKey(e.path), folderKey) || PathKey(e.path) == folderKey) {
                m_result.failures.push_back({e.path, kErrorOutsideFolder});
                continue;
            }
            (e.kind == JournalKind::EmptyFolder ? empties : recycled).push_back(&e);
        }
        m_total = static_cast<UINT>(empties.size() + recycled.size());
        if (m_events.folderStarted) m_events.folderStarted(m_journal.folder, m_total);

        const KeySet recycledFolders = RecycledFolders(recycled);
        // Parents before children; an empty folder that lay inside a folder
        // sent to the bin whole comes back with it, so it waits until then.
        std::unordered_map<const JOURNAL_ENTRY*, std::wstring> keys;
        for (const JOURNAL_ENTRY& e : m_journal.entries) keys.emplace(&e, PathKey(e.path));
        auto byKey = [&](const JOURNAL_ENTRY* a, const JOURNAL_ENTRY* b) { return keys[a] < keys[b]; };
        std::sort(empties.begin(), empties.end(), byKey);
        std::sort(recycled.begin(), recycled.end(), byKey);
        std::vector<JOURNAL_ENTRY*> later;
        for (JOURNAL_ENTRY* e : empties) {
            if (HasAncestorIn(keys[e], recycledFolders)) later.push_back(e);
            else if (GoOn()) MakeEmptyFolder(*e);
            else Keep(*e);
        }
        // Rounds: what lay inside a folder that went to the bin whole waits
        // until that folder is back, or its place would be taken by the folder
        // made for it.
        while (!recycled.empty()) {
            const KeySet pendingFolders = RecycledFolders(recycled);
            std::vector<JOURNAL_ENTRY*> next;
            for (JOURNAL_ENTRY* e : recycled) {
                if (HasAncestorIn(keys[e], pendingFolders)) next.push_back(e);
                else if (GoOn()) Take(*e, source);
                else Keep(*e);
            }
            Flush(source);
            recycled = std::move(next);
        }
        for (JOURNAL_ENTRY* e : later) {
            if (GoOn()) MakeEmptyFolder(*e);
            else Keep(*e);
        }

        if (m_dryRun) return;
        m_journal.entries = std::move(m_kept);
        if (const DWORD error = WriteCleanupJournal(m_journal))
            m_result.failures.push_back({CleanupJournalPath(m_journal.folder), error});
    }

private:
    struct PENDING {
        const JOURNAL_ENTRY* entry;
        BIN_ITEM* item;
    };

    // Between entries: false once the front end asked to stop.
    bool GoOn()
    {
        if (!m_result.stopped && m_events.keepGoing && !m_events.keepGoing()) m_result.stopped = true;
        return !m_result.stopped;
    }
    void Advance()
    {
        ++m_done;
        if (m_events.progress) m_events.progress(m_done, m_total);
    }
    // Not tried (a stop): it stays in the journal, for the next restore.
    void Keep(const JOURNAL_ENTRY& e) { m_kept.push_back(e); }
    void Fail(const JOURNAL_ENTRY& e, DWORD error)
    {
        m_result.failures.push_back({e.path, error});
        m_kept.push_back(e);
        Advance();
    }
    void Restored(const JOURNAL_ENTRY& e)
    {
        m_result.restored.push_back(e.path);
        Advance();
    }

    void MakeEmptyFolder(const JOURNAL_ENTRY& e)
    {
        if (IsFolderAt(e.path)) return Advance();   // made again since: nothing to do
        const DWORD error = m_dryRun ? PlaceState(e.path) : MakeFolder(e.path);
        if (error != 0) Fail(e, error);
        else Restored(e);
    }

    // The entry's item in the bin: the one the deleter was told of, bound by
    // identity, or the only one listed that matches it. 0 or why there is none.
    DWORD Locate(const JOURNAL_ENTRY& e, CBinSource& source, BIN_ITEM*& match)
    {
        match = nullptr;
        // Bound by identity where the shell's file operation can move it back;
        // elsewhere only the bin's listing leads to its own restore command.
        if (!e.binItem.empty() && m_moveItems) {
            m_bound.emplace_back();
            BIN_ITEM& bound = m_bound.back();
            const DWORD error = source.Binder().Bind(e.binItem, bound);
            if (error != 0) return error;
            if (const DWORD mismatch = MatchBinItem(e, m_journal.began, bound, BinLookup::ByIdentity)) return mismatch;
            match = &bound;
            return 0;
        }
        std::unordered_multimap<std::wstring, BIN_ITEM*>* byPath = nullptr;
        if (const DWORD error = source.Listing(byPath)) return error;
        size_t candidates = 0;
        auto [first, last] = byPath->equal_range(PathKey(e.path));
        for (auto it = first; it != last; ++it) {
            if (!it->second->child || MatchBinItem(e, m_journal.began, *it->second, BinLookup::ByListing) != 0) continue;
            ++candidates;
            match = it->second;
        }
        if (candidates == 0) return ERROR_FILE_NOT_FOUND;
        // The bin's details cannot tell them apart: none is taken for the entry's.
        if (candidates > 1) {
            match = nullptr;
            return kErrorRestoreAmbiguous;
        }
        return 0;
    }

    // Finds the entry's item in the bin and queues it for the shell.
    void Take(const JOURNAL_ENTRY& e, CBinSource& source)
    {
        BIN_ITEM* match = nullptr;
        DWORD found = 0;
        {
            CTimed timed(g_times.finding);
            found = Locate(e, source, match);
        }
        if (found != 0) return Fail(e, found);
        // A build may have made it again: the new one stays, the old one in the bin.
        DWORD error = PlaceState(e.path);
        if (error == 0 && !m_dryRun) error = MakeFolder(GetParentPath(e.path));
        if (error != 0) return Fail(e, error);
        if (m_dryRun) return Restored(e);
        m_batch.push_back({&e, match});
        if (m_batch.size() >= m_batchLimit) Flush(source);
    }

    // The queued items go back, each checked in its place afterwards.
    void Flush(CBinSource& source)
    {
        if (m_batch.empty()) return;
        m_batchLimit = std::min(m_batchLimit * 2, kLastRestoreBatch);
        // Items bound by identity go back through the shell's file operation,
        // one result each; listed ones (or all, where the shell takes no
        // moves) through the bin's own restore command.
        std::vector<DWORD> results(m_batch.size(), 0);
        // Where the shell's word on an item is that it stayed: the object now
        // at its place, if any, is someone else's.
        std::vector<bool> stayed(m_batch.size(), false);
        std::vector<size_t> bound, listed;
        std::unique_ptr<CTimed> timed = std::make_unique<CTimed>(g_times.shell);
        for (size_t i = 0; i < m_batch.size(); ++i) (m_batch[i].item->shellItem ? bound : listed).push_back(i);
        if (const DWORD error = MoveBack(bound, results))
            for (size_t i : bound) results[i] = error;
        for (size_t i : bound) stayed[i] = results[i] != 0 && results[i] != ERROR_CANCELLED;
        if (!listed.empty()) {
            // One request for them all, one result for all of them. Whatever
            // dialog it opens is answered No: a restore waits on none.
            std::vector<const BIN_ITEM*> items;
            for (size_t i : listed) items.push_back(m_batch[i].item);
            DWORD error = 0;
            bool refused = false;
            {
                ScopedDestroyRefusal noDialogs;
                error = source.Bin().Restore(items, m_owner);
                refused = noDialogs.Refused();
            }
            // Asked whether to replace a place taken since it was looked at,
            // and told No: the item stays in the bin, whatever stands there now.
            const std::vector<bool> left = refused ? source.StillInBin(items) : std::vector<bool>(items.size(), false);
            for (size_t k = 0; k < listed.size(); ++k) {
                results[listed[k]] = left[k] ? ERROR_ALREADY_EXISTS : error ? error : kErrorNotRestored;
                stayed[listed[k]] = left[k];
            }
        }
        timed = std::make_unique<CTimed>(g_times.checking);
        for (size_t i = 0; i < m_batch.size(); ++i) {
            const PENDING& p = m_batch[i];
            if (results[i] == ERROR_CANCELLED) Keep(*p.entry);   // stopped before its turn
            else if (!stayed[i] && IsBack(*p.entry)) Restored(*p.entry);
            else Fail(*p.entry, results[i] ? results[i] : kErrorNotRestored);
            p.item->child.reset();   // never asked for twice
            p.item->shellItem.reset();
        }
        m_batch.clear();
    }

    // Each queued item moved back by the shell's file operation. 0, or
    // E_NOTIMPL where it takes no moves.
    DWORD MoveBack(const std::vector<size_t>& bound, std::vector<DWORD>& results)
    {
        if (bound.empty()) return 0;
        std::vector<MOVE_BACK> moves(bound.size());
        for (size_t k = 0; k < bound.size(); ++k) {
            moves[k].item = m_batch[bound[k]].item->shellItem.get();
            moves[k].target = m_batch[bound[k]].entry->path;
        }
        const std::function<bool()> keepGoing = [&] { return GoOn(); };
        const DWORD error = MoveBackItems(moves, m_owner, keepGoing);
        if (error != 0) return error;
        for (size_t k = 0; k < bound.size(); ++k) results[bound[k]] = moves[k].answered ? moves[k].result : ERROR_CANCELLED;
        return 0;
    }

    CLEANUP_JOURNAL& m_journal;
    FOLDER_RESTORE& m_result;
    bool m_dryRun;
    HWND m_owner;
    const RESTORE_EVENTS& m_events;
    bool m_moveItems;
    UINT m_done = 0;
    UINT m_total = 0;
    std::vector<PENDING> m_batch;
    size_t m_batchLimit = kFirstRestoreBatch;
    std::deque<BIN_ITEM> m_bound;   // items bound by identity, kept while queued
    std::vector<JOURNAL_ENTRY> m_kept;
};

} // namespace

DWORD MatchBinItem(const JOURNAL_ENTRY& entry, ULONGLONG began, const BIN_ITEM& item, BinLookup how)
{
    const bool kindFits =
        item.kind == BinItemKind::Unknown || (item.kind == BinItemKind::Folder) == (entry.kind == JournalKind::Folder);
    if (!kindFits) return ERROR_FILE_NOT_FOUND;
    // Another object at the item's place, or from the entry's place at about
    // the same time, is not the entry's: a file's size, where both tell it,
    // must agree.
    if (entry.kind == JournalKind::File && entry.bytes != ~0ull && item.sizeHigh != ~0ull &&
        (entry.bytes < item.sizeLow || entry.bytes > item.sizeHigh))
        return ERROR_FILE_NOT_FOUND;
    if (how == BinLookup::ByIdentity) {
        // The bin tells the folder it came from, where it tells anything.
        if (!item.originalPath.empty() && PathKey(item.originalPath) != PathKey(GetParentPath(entry.path)) &&
            PathKey(item.originalPath) != PathKey(entry.path))
            return ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (PathKey(item.originalPath) != PathKey(entry.path)) return ERROR_FILE_NOT_FOUND;
    if (item.deletedFirst == 0 || item.deletedLast + kTimeSlack < began || item.deletedFirst > entry.when + kTimeSlack)
        return ERROR_FILE_NOT_FOUND;
    return 0;
}

std::vector<FOLDER_RESTORE> RestoreCleanups(const std::vector<std::wstring>& folders, RestoreMode mode, HWND owner,
                                            const RESTORE_EVENTS& events)
{
    // Each folder once, however it is spelt.
    std::vector<std::wstring> unique;
    KeySet seen;
    for (const std::wstring& folder : folders)
        if (seen.insert(PathKey(folder)).second) unique.push_back(folder);

    std::vector<FOLDER_RESTORE> results(unique.size());
    std::vector<CLEANUP_JOURNAL> journals(unique.size());
    std::vector<std::unique_ptr<CRestoreLock>> locks(unique.size());
    std::unordered_set<std::wstring> names;   // of what the journals sent to the bin without its item
    for (size_t i = 0; i < unique.size(); ++i) {
        results[i].folder = unique[i];
        if (mode == RestoreMode::Restore && HasCleanupJournal(unique[i])) {
            locks[i] = std::make_unique<CRestoreLock>(unique[i]);
            if (const DWORD error = locks[i]->Error()) {
                results[i].journaled = true;
                results[i].failures.push_back({unique[i], error});
                continue;
            }
        }
        if (!ReadCleanupJournal(unique[i], journals[i])) {
            const DWORD error = ::GetLastError();
            // No journal, or no folder of journals yet: nothing to restore.
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                results[i].journaled = true;
                results[i].failures.push_back({CleanupJournalPath(unique[i]), error});
            }
            continue;
        }
        results[i].journaled = !journals[i].entries.empty();
        for (const JOURNAL_ENTRY& e : journals[i].entries)
            if (e.kind != JournalKind::EmptyFolder && e.binItem.empty())
                names.insert(FoldPathCase(FileNamePart(CanonicalPath(e.path))));
    }

    ScopedComInit com;
    // The shell's file operation moves items back where it takes delete
    // items; elsewhere (Wine) the bin's own restore command does.
    const bool moveItems = std::wstring(ActiveDeleterName()) == L"IFileOperation";
    CBinSource source(names);
    for (size_t i = 0; i < unique.size(); ++i) {
        if (!results[i].journaled || journals[i].entries.empty() || !results[i].failures.empty()) continue;
        CFolderRestore(journals[i], results[i], mode == RestoreMode::DryRun, owner, events, moveItems).Run(source);
    }
    return results;
}

size_t JournaledItemCount(const std::wstring& folder)
{
    CLEANUP_JOURNAL journal;
    return ReadCleanupJournal(folder, journal) ? journal.entries.size() : 0;
}

std::wstring RestoreResultLine(const FOLDER_RESTORE& result)
{
    if (result.failures.empty() && !result.stopped) return FormatText(L"Restored folder: \"%ls\"", result.folder.c_str());
    const DWORD error = result.failures.empty() ? ERROR_REQUEST_ABORTED : result.failures.back().error;
    return FormatText(L"ERROR: (%d) Failed to restore folder: \"%ls\". %ls", static_cast<int>(error),
                      result.folder.c_str(), GetErrorText(error).c_str());
}

std::vector<std::wstring> RestoreReportLines(const FOLDER_RESTORE& result)
{
    constexpr size_t kFailuresShown = 100;
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < result.failures.size() && i < kFailuresShown; ++i)
        lines.push_back(FormatText(L"NOT RESTORED: (%d) \"%ls\". %ls", static_cast<int>(result.failures[i].error),
                                   result.failures[i].path.c_str(), GetErrorText(result.failures[i].error).c_str()));
    if (result.failures.size() > kFailuresShown)
        lines.push_back(FormatText(L"... and %zu more items that did not come back.", result.failures.size() - kFailuresShown));
    lines.push_back(FormatText(L"Restored %zu items%ls.", result.restored.size(),
                               result.stopped ? L"; stopped: the rest stays in the Recycle Bin for the next restore" : L""));
    lines.push_back(RestoreResultLine(result));
    return lines;
}

std::wstring RestoreLockName(const std::wstring& folder)
{
    return L"Local\\Mopwright restore " + std::wstring(FileNamePart(CleanupJournalPath(folder)));
}

RESTORE_TIMES RestoreTimes() { return g_times; }
