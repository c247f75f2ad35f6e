// The journal of a clean-up: what it holds, when it is replaced, and a clean-up
// that goes on when it cannot be written. Real folders, the real trash.
#include <gtest/gtest.h>

#include "engine/CleanupJournal.h"
#include "engine/RecycleBin.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

namespace {

CLEANUP_JOURNAL Read(const std::wstring& folder)
{
    CLEANUP_JOURNAL journal;
    ReadCleanupJournal(folder, journal);
    return journal;
}

} // namespace

TEST(CleanupJournal, HoldsWholeLinesOfItsOwnFolderOnly)
{
    TempTree t(L"journal");
    const std::wstring mine = t.path(L"Mine"), other = t.path(L"Other");
    // The item the bin keeps for an object goes with it.
    const std::wstring binItem = L"C:\\$Recycle.Bin\\S-1-5-21\\$RAB12CD";
    CLEANUP_JOURNAL journal{mine, 42, {{JournalKind::Folder, 43, t.path(L"Mine/Debug"), binItem},
                                       {JournalKind::EmptyFolder, 44, t.path(L"Mine/x64"), {}}}};
    ASSERT_EQ(WriteCleanupJournal(journal), 0u);
    {
        // A record cut off by the end of a run does not count.
        UniqueFile f(CreateFileW(CleanupJournalPath(mine).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(f.get(), "file\t45\tZ:\\cut", 14, &written, nullptr));
    }
    const CLEANUP_JOURNAL read = Read(mine + L"\\");
    EXPECT_EQ(read.began, 42u);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[0].binItem, binItem);
    EXPECT_EQ(read.entries[1].binItem, L"");
    EXPECT_EQ(read.entries[1].kind, JournalKind::EmptyFolder);
    EXPECT_EQ(read.entries[1].path, t.path(L"Mine/x64"));

    // The file names its folder: under another folder's name it is not that folder's.
    ASSERT_TRUE(CopyFileW(CleanupJournalPath(mine).c_str(), CleanupJournalPath(other).c_str(), FALSE));
    EXPECT_TRUE(Read(other).entries.empty());
    for (const std::wstring& folder : {mine, other}) {
        journal.folder = folder;
        journal.entries.clear();
        EXPECT_EQ(WriteCleanupJournal(journal), 0u);   // removed
        EXPECT_FALSE(HasCleanupJournal(folder));
    }
}

TEST(CleanupJournal, OnlyADeletionReplacesItAndAnUnwritableOneIsSaidOnce)
{
    TempTree t(L"journal");
    testutil::MakeSmallSolution(t, L"S", {});
    const std::wstring folder = t.path(L"S");
    ASSERT_EQ(WriteCleanupJournal({folder, 1, {{JournalKind::File, 2, t.path(L"S/earlier.obj"), {}}}}), 0u);

    // Nothing to remove: the earlier clean-up can still be undone.
    testutil::FakeHost host;
    host.Run({folder});
    ASSERT_EQ(Read(folder).entries.size(), 1u);
    EXPECT_EQ(Read(folder).entries[0].path, t.path(L"S/earlier.obj"));

    t.file(L"S/Debug/main.obj");
    host.Run({folder});
    const CLEANUP_JOURNAL journal = Read(folder);
    ASSERT_EQ(journal.entries.size(), 1u);
    EXPECT_EQ(journal.entries[0].kind, JournalKind::Folder);
    EXPECT_EQ(journal.entries[0].path, t.path(L"S\\Debug"));
    EXPECT_GT(journal.began, 2u);

    // A folder where the journal's file should be: the run says so once and cleans.
    testutil::MakeSmallSolution(t, L"U", {L"Debug/a.obj", L"obj/b.obj"});
    const std::wstring blocked = t.path(L"U");
    ASSERT_TRUE(CreateDirectoryW(CleanupJournalPath(blocked).c_str(), nullptr));
    host.Run({blocked});
    RemoveDirectoryW(CleanupJournalPath(blocked).c_str());
    size_t said = 0;
    for (const std::wstring& line : host.LogLines())
        said += line.starts_with(L"The clean-up of \"" + blocked + L"\" cannot be undone: its journal could not be written.");
    EXPECT_EQ(said, 1u) << testutil::Narrow(host.logText);
    EXPECT_TRUE(host.EndedWithoutErrors());
    EXPECT_TRUE(t.untrashed({L"U/Debug", L"U/obj"}).empty());
}

// The shell's date texts (the user's own formats, with or without seconds, in
// either half of the day) read back as the interval of times they stand for.
TEST(RecycleBinDates, ShellDateTextReadsAsTheIntervalItStandsFor)
{
    const ULONGLONG minute = 60ull * 10000000;
    for (WORD hour : {0, 9, 12, 21}) {
        SYSTEMTIME local{2026, 3, 0, 17, hour, 41, 27, 0}, utc{};
        FILETIME ft{};
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &ft));
        const ULONGLONG exact = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        for (DWORD timeFlags : {DWORD(TIME_NOSECONDS), DWORD(0)}) {
            wchar_t date[64] = L"", time[64] = L"";
            GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64);
            GetTimeFormatW(LOCALE_USER_DEFAULT, timeFlags, &local, nullptr, time, 64);
            ULONGLONG first = 0, last = 0;
            ASSERT_TRUE(ParseShellDateText(std::wstring(date) + L" " + time, first, last)) << testutil::Narrow(time);
            EXPECT_TRUE(first <= exact && exact <= last) << testutil::Narrow(std::wstring(date) + L" " + time);
            EXPECT_EQ(last - first + 1, timeFlags ? minute : minute / 60);
        }
    }
    ULONGLONG first = 0, last = 0;
    EXPECT_FALSE(ParseShellDateText(L"yesterday", first, last));
}
