#include "engine/Restore.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/CleanupJournal.h"
#include "engine/RecycleBin.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/ComInit.h"
#include "support/UniqueHandle.h"

namespace {

// Clocks and the rounding of deletion dates: an item counts as deleted during
// the clean-up when its date lies this close to it.
constexpr ULONGLONG kTimeSlack = 2ull * 10000000;
// Items handed to the shell in one restore request. Wine's cost of a request
// grows with the size of the bin, hardly with the request's: as many as there are.
constexpr size_t kRestoreBatch = 65536;

using KeySet = std::unordered_set<std::wstring>;

// TRUE when a folder of `folders` (path keys) lies above `key`.
bool HasAncestorIn(const std::wstring& key, const KeySet& folders)
{
    if (folders.empty()) return false;
    for (size_t cut = key.rfind(L'\\'); cut != std::wstring::npos && cut > 0; cut = key.rfind(L'\\', cut - 1))
        if (folders.count(key.substr(0, cut))) return true;
    return false;
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
    if (::GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES) return ERROR_ALREADY_EXISTS;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
}

bool IsFolderAt(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The entry's own kind of object stands at its place again.
bool IsBack(const JOURNAL_ENTRY& entry)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(entry.path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == (entry.kind != JournalKind::File);
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

bool KindFits(BinItemKind kind, JournalKind journaled)
{
    return kind == BinItemKind::Unknown || (kind == BinItemKind::Folder) == (journaled == JournalKind::Folder);
}

// The restore of one folder's journal.
class CFolderRestore {
public:
    CFolderRestore(CLEANUP_JOURNAL& journal, FOLDER_RESTORE& result, bool dryRun, HWND owner)
        : m_journal(journal), m_result(result), m_dryRun(dryRun), m_owner(owner) {}

    void Run(CRecycleBin* bin, DWORD binError, std::unordered_multimap<std::wstring, BIN_ITEM*>& byPath)
    {
        std::vector<JOURNAL_ENTRY*> empties, recycled;
        for (JOURNAL_ENTRY& e : m_journal.entries) (e.kind == JournalKind::EmptyFolder ? empties : recycled).push_back(&e);
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
            else MakeEmptyFolder(*e);
        }
        // Rounds: what lay inside a folder that went to the bin whole waits
        // until that folder is back, or its place would be taken by the folder
        // made for it.
        while (!recycled.empty()) {
            const KeySet pendingFolders = RecycledFolders(recycled);
            std::vector<JOURNAL_ENTRY*> next;
            for (JOURNAL_ENTRY* e : recycled) {
                if (HasAncestorIn(keys[e], pendingFolders)) next.push_back(e);
                else Take(*e, bin, binError, byPath);
            }
            Flush(bin);
            recycled = std::move(next);
        }
        for (JOURNAL_ENTRY* e : later) MakeEmptyFolder(*e);

        if (m_dryRun) return;
        m_journal.entries = std::move(m_kept);
        if (const DWORD error = WriteCleanupJournal(m_journal))
            m_result.failures.push_back({CleanupJournalPath(m_journal.folder), error});
    }

private:
    void Fail(const JOURNAL_ENTRY& e, DWORD error)
    {
        m_result.failures.push_back({e.path, error});
        m_kept.push_back(e);
    }

    void MakeEmptyFolder(const JOURNAL_ENTRY& e)
    {
        if (IsFolderAt(e.path)) return;   // made again since: nothing to do
        const DWORD error = m_dryRun ? PlaceState(e.path) : MakeFolder(e.path);
        if (error != 0) Fail(e, error);
        else m_result.restored.push_back(e.path);
    }

    // Finds the entry's item in the bin and queues it for the shell.
    void Take(const JOURNAL_ENTRY& e, CRecycleBin* bin, DWORD binError,
              std::unordered_multimap<std::wstring, BIN_ITEM*>& byPath)
    {
        if (!bin) return Fail(e, binError);
        // Only an item deleted during this clean-up, from this place, is the entry's.
        BIN_ITEM* match = nullptr;
        size_t candidates = 0;
        auto [first, last] = byPath.equal_range(PathKey(e.path));
        for (auto it = first; it != last; ++it) {
            BIN_ITEM* item = it->second;
            if (!item->child || !KindFits(item->kind, e.kind) || item->deletedLast + kTimeSlack < m_journal.began ||
                item->deletedFirst > e.when + kTimeSlack)
                continue;
            ++candidates;
            match = item;
        }
        if (candidates == 0) return Fail(e, ERROR_FILE_NOT_FOUND);
        // The shell's dates cannot tell them apart: none is taken for the entry's.
        if (candidates > 1) return Fail(e, kErrorRestoreAmbiguous);
        // A build may have made it again: the new one stays, the old one in the bin.
        DWORD error = PlaceState(e.path);
        if (error == 0 && !m_dryRun) error = MakeFolder(GetParentPath(e.path));
        if (error != 0) return Fail(e, error);
        if (m_dryRun) {
            m_result.restored.push_back(e.path);
            return;
        }
        m_batch.push_back({&e, match});
        if (m_batch.size() >= kRestoreBatch) Flush(bin);
    }

    // One shell request for the queued items, then each is checked in its place.
    void Flush(CRecycleBin* bin)
    {
        if (m_batch.empty()) return;
        std::vector<const BIN_ITEM*> items;
        for (const PENDING& p : m_batch) items.push_back(p.item);
        const DWORD error = bin->Restore(items, m_owner);
        for (const PENDING& p : m_batch) {
            if (IsBack(*p.entry)) m_result.restored.push_back(p.entry->path);
            else Fail(*p.entry, error ? error : kErrorNotRestored);
            p.item->child.reset();   // never asked for twice
        }
        m_batch.clear();
    }

    struct PENDING {
        const JOURNAL_ENTRY* entry;
        BIN_ITEM* item;
    };
    CLEANUP_JOURNAL& m_journal;
    FOLDER_RESTORE& m_result;
    bool m_dryRun;
    HWND m_owner;
    std::vector<PENDING> m_batch;
    std::vector<JOURNAL_ENTRY> m_kept;
};

} // namespace

std::vector<FOLDER_RESTORE> RestoreCleanups(const std::vector<std::wstring>& folders, RestoreMode mode, HWND owner)
{
    std::vector<FOLDER_RESTORE> results(folders.size());
    std::vector<CLEANUP_JOURNAL> journals(folders.size());
    std::unordered_set<std::wstring> names;   // of everything any journal sent to the bin
    for (size_t i = 0; i < folders.size(); ++i) {
        results[i].folder = folders[i];
        if (!ReadCleanupJournal(folders[i], journals[i])) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) {
                results[i].journaled = true;
                results[i].failures.push_back({CleanupJournalPath(folders[i]), error});
            }
            continue;
        }
        results[i].journaled = !journals[i].entries.empty();
        for (const JOURNAL_ENTRY& e : journals[i].entries)
            if (e.kind != JournalKind::EmptyFolder) names.insert(FoldPathCase(FileNamePart(CanonicalPath(e.path))));
    }

    // One listing of the bin serves every folder; only items of the right names are looked at closely.
    ScopedComInit com;
    CRecycleBin bin;
    std::vector<BIN_ITEM> items;
    DWORD binError = 0;
    if (!names.empty()) {
        binError = bin.Open();
        if (binError == 0)
            binError = bin.List([&](const std::wstring& name) { return names.count(name) != 0; }, items);
    }
    std::unordered_multimap<std::wstring, BIN_ITEM*> byPath;
    for (BIN_ITEM& item : items) byPath.emplace(FoldPathCase(item.originalPath), &item);

    for (size_t i = 0; i < folders.size(); ++i) {
        if (!results[i].journaled || journals[i].entries.empty()) continue;
        CFolderRestore(journals[i], results[i], mode == RestoreMode::DryRun, owner).Run(binError == 0 ? &bin : nullptr, binError, byPath);
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
    if (result.failures.empty()) return FormatText(L"Restored folder: \"%ls\"", result.folder.c_str());
    const DWORD error = result.failures.back().error;
    return FormatText(L"ERROR: (%d) Failed to restore folder: \"%ls\". %ls", static_cast<int>(error),
                      result.folder.c_str(), GetErrorText(error).c_str());
}
