#pragma once
// The journal of a folder's most recent clean-up: every object it sent to the
// Recycle Bin and every empty folder it removed outright, written as the
// clean-up goes, so that the clean-up can be undone later.
//
// One small UTF-8 text file per solution folder, per user, in
// %LOCALAPPDATA%\Mopwright\, named after the folder's canonical, case-folded
// path ("Cleanup-" and 16 hex digits of its hash, ".txt"). Lines, each ending
// in a line feed; a last line without one was cut off and does not count:
//   Mopwright clean-up journal 1
//   solution<TAB>FOLDER          the solution folder, as the clean-up spelt it
//   began<TAB>TIME               when deletion began
//   file<TAB>TIME<TAB>PATH       a file sent to the Recycle Bin
//   folder<TAB>TIME<TAB>PATH     a folder sent to the Recycle Bin, whole
//   empty<TAB>TIME<TAB>PATH      an empty folder removed outright
//   bin<TAB>PATH                 where the Recycle Bin keeps the object of the
//                                line before, where the shell said so
//   size<TAB>BYTES               the size of the file of the line before
// TIME is a FILETIME (100 ns units since 1601, UTC) in decimal. Lines of any
// other kind are passed over. A surrogate that is not half of a pair (which a
// name may hold) is written as its own three bytes, the generalized UTF-8 of
// support/Utf8.h, and read back as that unit.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "engine/records/RemovalLog.h"
#include "support/UniqueHandle.h"

enum class JournalKind { File, Folder, EmptyFolder };

struct JOURNAL_ENTRY {
    JournalKind kind = JournalKind::File;
    ULONGLONG when = 0;   // FILETIME, UTC
    std::wstring path;
    std::wstring binItem;   // the item in the Recycle Bin, when the deleter was told it
    unsigned long long bytes = ~0ull;   // a file's size; ~0: not known
};

struct CLEANUP_JOURNAL {
    std::wstring folder;
    ULONGLONG began = 0;
    std::vector<JOURNAL_ENTRY> entries;
};

// The file that holds `solutionFolder`'s journal; empty when the system names
// no local application data folder.
std::wstring CleanupJournalPath(const std::wstring& solutionFolder);

// TRUE when `solutionFolder` has a journal (its file exists).
bool HasCleanupJournal(const std::wstring& solutionFolder);

// Reads `solutionFolder`'s journal. FALSE when there is none
// (ERROR_FILE_NOT_FOUND), when it belongs to another folder (the same), or
// with the reading error.
BOOL ReadCleanupJournal(const std::wstring& solutionFolder, CLEANUP_JOURNAL& journal);

// Replaces the journal of `journal.folder` with `journal`; one without entries
// is removed. 0 or the error.
DWORD WriteCleanupJournal(const CLEANUP_JOURNAL& journal);

// Writes the journal of one clean-up while it runs. Nothing is written until
// the first record, which replaces the folder's earlier journal; every record
// is written at once. The first failure to write calls `onUnwritable` once;
// nothing more is recorded then, and the clean-up goes on.
class CCleanupJournal final : public IRemovalLog {
public:
    CCleanupJournal(const std::wstring& solutionFolder, std::function<void(DWORD error)> onUnwritable);

    void Recycled(const RECYCLED_OBJECT& object) override;
    void RemovedEmptyFolder(const std::wstring& path) override;

private:
    void Append(const JOURNAL_ENTRY& entry);
    void Fail(DWORD error);

    std::wstring m_folder;
    ULONGLONG m_began;
    std::function<void(DWORD)> m_onUnwritable;
    UniqueFile m_file;
    bool m_failed = false;
};

// The log line of a clean-up whose journal could not be written.
std::wstring UndoUnavailableLine(const std::wstring& folder, DWORD error);
