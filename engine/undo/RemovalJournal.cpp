#include "engine/undo/RemovalJournal.h"

#include <shlobj.h>
#include <knownfolders.h>

#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/TextFile.h"
#include "support/Utf8.h"

namespace {

constexpr wchar_t kJournalMagic[] = L"Mopwright clean-up journal 1";
// Far more than any clean-up writes: a larger file is not a journal of ours.
constexpr unsigned long long kMaxJournalBytes = 256ull * 1024 * 1024;

const wchar_t* KindTag(JournalKind kind)
{
    switch (kind) {
    case JournalKind::File: return L"file";
    case JournalKind::Folder: return L"folder";
    case JournalKind::EmptyFolder: return L"empty";
    }
    return L"";
}

// A path may hold a surrogate of its own, which NTFS takes in a name: the
// journal keeps it as its own three bytes, so that the restore finds the
// very name again. Every other text is plain UTF-8.
std::string Utf8(const std::wstring& text) { return Utf8FromWide(text, LoneSurrogates::Keep); }

std::string HeaderText(const std::wstring& folder, ULONGLONG began)
{
    return Utf8(kJournalMagic) + "\nsolution\t" + Utf8(folder) + "\nbegan\t" + std::to_string(began) + "\n";
}

std::string EntryLine(const JOURNAL_ENTRY& e)
{
    std::wstring line = FormatText(L"%ls\t%llu\t%ls\n", KindTag(e.kind), e.when, e.path.c_str());
    if (!e.binItem.empty()) line += L"bin\t" + e.binItem + L"\n";
    if (e.kind == JournalKind::File && e.bytes != ~0ull) line += FormatText(L"size\t%llu\n", e.bytes);
    return Utf8(line);
}

std::wstring JournalFolder()
{
    UniqueCoString base;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, base.put())) || !base)
        return L"";
    return JoinPath(base.get(), L"Mopwright");
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A new file of ours at `path`, holding `bytes` (and open for more): made
// under a name of its own beside it, then put in its place. Whatever stood
// there (an earlier journal, or a link that someone put in its place) is
// replaced itself and never written through. Invalid on failure (last error set).
UniqueFile PutFreshFile(const std::wstring& path, const std::string& bytes)
{
    if (path.empty()) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    ::CreateDirectoryW(GetParentPath(path).c_str(), nullptr);   // there already, or the create below says why
    static LONG made = 0;
    const std::wstring fresh = FormatText(L"%ls.%lu-%ld.new", path.c_str(), ::GetCurrentProcessId(),
                                          static_cast<long>(::InterlockedIncrement(&made)));
    UniqueFile file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return file;
    if (!WriteAll(file.get(), bytes) || !::MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = ::GetLastError();
        file.reset();
        ::DeleteFileW(fresh.c_str());   // our own new file, not yet anywhere else
        ::SetLastError(error);
        return {};
    }
    return file;
}

bool ParseTime(const std::wstring& text, ULONGLONG& value)
{
    if (text.empty() || text.size() > 20) return false;
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<ULONGLONG>(c - L'0');
    }
    return true;
}

} // namespace

std::wstring CleanupJournalPath(const std::wstring& solutionFolder)
{
    const std::wstring folder = JournalFolder();
    if (folder.empty()) return folder;
    // FNV-1a over the key's UTF-16 units: the same folder always gives the same name.
    ULONGLONG hash = 14695981039346656037ull;
    for (wchar_t c : PathKey(solutionFolder)) {
        hash ^= static_cast<ULONGLONG>(c);
        hash *= 1099511628211ull;
    }
    return JoinPath(folder, FormatText(L"Cleanup-%016llx.txt", hash));
}

bool HasCleanupJournal(const std::wstring& solutionFolder)
{
    const std::wstring path = CleanupJournalPath(solutionFolder);
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL ReadCleanupJournal(const std::wstring& solutionFolder, CLEANUP_JOURNAL& journal)
{
    journal = {};
    const std::wstring path = CleanupJournalPath(solutionFolder);
    std::wstring text;
    if (path.empty() || !ReadTextFile(path, text, kMaxJournalBytes, true)) {
        if (path.empty()) ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Only whole lines count: a record cut off by the end of a run is dropped.
    const size_t end = text.rfind(L'\n');
    std::vector<std::wstring> lines = SplitTokens(end == std::wstring::npos ? L"" : text.substr(0, end), L"\n");
    for (std::wstring& line : lines)
        if (!line.empty() && line.back() == L'\r') line.pop_back();   // saved again with CR LF
    const bool ours = !lines.empty() && lines[0] == kJournalMagic;
    for (size_t i = 1; ours && i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        const size_t tab = line.find(L'\t');
        if (tab == std::wstring::npos) continue;
        const std::wstring tag = line.substr(0, tab), rest = line.substr(tab + 1);
        if (tag == L"solution") {
            journal.folder = rest;
            continue;
        }
        if (tag == L"began") {
            ParseTime(rest, journal.began);
            continue;
        }
        if (tag == L"bin") {
            if (!journal.entries.empty() && journal.entries.back().kind != JournalKind::EmptyFolder)
                journal.entries.back().binItem = rest;
            continue;
        }
        if (tag == L"size") {
            ULONGLONG bytes = 0;
            if (!journal.entries.empty() && journal.entries.back().kind == JournalKind::File && ParseTime(rest, bytes))
                journal.entries.back().bytes = bytes;
            continue;
        }
        JOURNAL_ENTRY entry;
        const size_t second = rest.find(L'\t');
        if (second == std::wstring::npos || !ParseTime(rest.substr(0, second), entry.when)) continue;
        entry.path = rest.substr(second + 1);
        if (tag == L"file") entry.kind = JournalKind::File;
        else if (tag == L"folder") entry.kind = JournalKind::Folder;
        else if (tag == L"empty") entry.kind = JournalKind::EmptyFolder;
        else continue;
        if (!entry.path.empty()) journal.entries.push_back(std::move(entry));
    }
    // A journal names its folder: one of another folder (or none) is not this folder's.
    if (!ours || PathKey(journal.folder) != PathKey(solutionFolder)) {
        journal = {};
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    ::SetLastError(0);
    return TRUE;
}

DWORD WriteCleanupJournal(const CLEANUP_JOURNAL& journal)
{
    const std::wstring path = CleanupJournalPath(journal.folder);
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    if (journal.entries.empty()) {
        // Removed only once it is a file of ours: a link in its place goes
        // without the file it points to.
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
        if (!PutFreshFile(path, "")) return ::GetLastError();
        return ::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : ::GetLastError();
    }
    // Written whole beside it, then put in its place: a journal is never half old, half new.
    std::string bytes = HeaderText(journal.folder, journal.began);
    for (const JOURNAL_ENTRY& e : journal.entries) bytes += EntryLine(e);
    return PutFreshFile(path, bytes) ? 0 : ::GetLastError();
}

CCleanupJournal::CCleanupJournal(const std::wstring& solutionFolder, std::function<void(DWORD error)> onUnwritable)
    : m_folder(solutionFolder), m_began(NowFileTime()), m_onUnwritable(std::move(onUnwritable))
{
}

void CCleanupJournal::Recycled(const RECYCLED_OBJECT& object)
{
    Append({object.isFolder ? JournalKind::Folder : JournalKind::File, object.when, object.path, object.binItem,
            object.bytes});
}

void CCleanupJournal::RemovedEmptyFolder(const std::wstring& path)
{
    Append({JournalKind::EmptyFolder, NowFileTime(), path, {}, ~0ull});
}

void CCleanupJournal::Append(const JOURNAL_ENTRY& entry)
{
    if (m_failed) return;
    if (!m_file) {
        m_file = PutFreshFile(CleanupJournalPath(m_folder), HeaderText(m_folder, m_began));
        if (!m_file) return Fail(::GetLastError());
    }
    if (!WriteAll(m_file.get(), EntryLine(entry))) Fail(::GetLastError());
}

void CCleanupJournal::Fail(DWORD error)
{
    m_failed = true;
    m_file.reset();
    if (m_onUnwritable) m_onUnwritable(error ? error : ERROR_WRITE_FAULT);
}

std::wstring UndoUnavailableLine(const std::wstring& folder, DWORD error)
{
    return FormatText(L"The clean-up of \"%ls\" cannot be undone: its journal could not be written. (%d) %ls",
                      folder.c_str(), static_cast<int>(error), GetErrorText(error).c_str());
}
