// Undoing a clean-up in the engine: which bin item is an entry's, a restore
// that stops and is finished later, journal lines that were never a
// clean-up's, and a journal written as the clean-up goes. On real trees, the
// real trash and, under the double, the shell's file operation.
#include <gtest/gtest.h>

#include "engine/undo/Restore.h"
#include "support/ComInit.h"
#include "support/ErrorText.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::Paths;
using testutil::TempTree;

namespace {

constexpr ULONGLONG kSecond = 10000000;
constexpr ULONGLONG kBegan = 1000 * kSecond;

BIN_ITEM Listed(const std::wstring& path, BinItemKind kind, ULONGLONG first, ULONGLONG last,
                unsigned long long low = 0, unsigned long long high = ~0ull)
{
    BIN_ITEM item;
    item.originalPath = path;
    item.kind = kind;
    item.deletedFirst = first;
    item.deletedLast = last;
    item.sizeLow = low;
    item.sizeHigh = high;
    return item;
}

} // namespace

TEST(RestoreMatch, AnEntryTakesOnlyItsOwnItem)
{
    const JOURNAL_ENTRY file{JournalKind::File, kBegan + 5 * kSecond, L"C:\\S\\App\\a.log", {}, 2500};
    const JOURNAL_ENTRY folder{JournalKind::Folder, kBegan + 5 * kSecond, L"C:\\S\\Debug", {}, ~0ull};
    const ULONGLONG minute = 60 * kSecond;
    struct ROW {
        const char* name;
        const JOURNAL_ENTRY& entry;
        BIN_ITEM item;
        BinLookup how;
        bool matches;
    };
    const ROW rows[] = {
        {"listed: its place, kind, time and size", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::File, kBegan, kBegan + minute, 2048, 3072), BinLookup::ByListing, true},
        {"listed: any spelling of its place", file, Listed(L"c:\\s\\app\\A.LOG", BinItemKind::Unknown, kBegan, kBegan + minute), BinLookup::ByListing, true},
        {"listed: another place", file, Listed(L"C:\\S\\App\\b.log", BinItemKind::File, kBegan, kBegan), BinLookup::ByListing, false},
        {"listed: a folder for a file", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::Folder, kBegan, kBegan), BinLookup::ByListing, false},
        {"listed: deleted before the clean-up", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::File, 0 + kSecond, kBegan - 3 * kSecond), BinLookup::ByListing, false},
        {"listed: deleted after the entry", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::File, kBegan + 8 * kSecond, kBegan + minute), BinLookup::ByListing, false},
        {"listed: no date", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::File, 0, 0), BinLookup::ByListing, false},
        // Someone else's file from the same place in the same minute: the size tells.
        {"listed: the same minute, another size", file, Listed(L"C:\\S\\App\\a.log", BinItemKind::File, kBegan, kBegan + minute, 0, 1024), BinLookup::ByListing, false},
        {"listed: a folder's size is not asked", folder, Listed(L"C:\\S\\Debug", BinItemKind::Folder, kBegan, kBegan + minute, 0, 10), BinLookup::ByListing, true},
        {"bound: any time, no place told", file, Listed(L"", BinItemKind::File, 0, 0), BinLookup::ByIdentity, true},
        {"bound: from its folder", file, Listed(L"C:\\S\\App", BinItemKind::File, 5, 5), BinLookup::ByIdentity, true},
        {"bound: from another folder", file, Listed(L"C:\\Other", BinItemKind::File, 5, 5), BinLookup::ByIdentity, false},
        {"bound: of another kind", folder, Listed(L"", BinItemKind::File, 0, 0), BinLookup::ByIdentity, false},
        {"bound: another file at the item's place", file, Listed(L"", BinItemKind::File, 0, 0, 5000, 5000), BinLookup::ByIdentity, false},
        {"bound: its own size", file, Listed(L"", BinItemKind::File, 0, 0, 2500, 2500), BinLookup::ByIdentity, true},
    };
    for (const ROW& row : rows) EXPECT_EQ(MatchBinItem(row.entry, kBegan, row.item, row.how) == 0, row.matches) << row.name;

    // The bin's size column, as the shell writes it in any grouping.
    const std::tuple<const wchar_t*, unsigned long long, bool> sizes[] = {
        {L"0 KB", 0, true},          {L"3 KB", 2500, true},      {L"3 KB", 9000, false},
        {L"1,234 KB", 1263000, true}, {L"12.5 MB", 13107200, true}, {L"812 bytes", 812, true},
        {L"812 bytes", 813, false},  {L"big", 0, false},
    };
    for (const auto& [text, bytes, within] : sizes) {
        unsigned long long low = 1, high = 0;
        const bool read = ParseShellSizeText(text, low, high) != FALSE;
        EXPECT_EQ(read && low <= bytes && bytes <= high, within) << testutil::Narrow(text);
    }
}

// A restore asked to stop keeps in the journal what is still in the bin, and
// the next one finishes it; lines a clean-up of the folder never wrote are refused.
TEST(RestoreRun, AStoppedRestoreIsFinishedByTheNextAndStrangeLinesAreRefused)
{
    // Apartment-threaded, as the window's and the console's threads are:
    // under the double the clean-up and the restore go through the shell's file operation.
    ScopedComInit com;
    TempTree t(L"restorerun");
    std::vector<std::wstring> files;
    for (int i = 0; i < 30; ++i) files.push_back(L"Debug/f" + std::to_wstring(i) + L".obj");
    testutil::MakeSmallSolution(t, L"S", {});
    for (const std::wstring& f : files) t.file(L"S/" + f, "o");
    for (int i = 0; i < 30; ++i) t.file(L"S/f" + std::to_wstring(i) + L".log", "l");
    const std::wstring folder = t.path(L"S");
    const std::string before = testutil::SnapshotTree(folder, false);
    testutil::FakeHost host;
    host.Run({folder});
    ASSERT_TRUE(host.EndedWithoutErrors()) << testutil::Narrow(host.logText);
    ASSERT_EQ(JournaledItemCount(folder), 31u);

    // Lines no clean-up of this folder wrote: another folder's file, a relative path.
    CLEANUP_JOURNAL journal;
    ASSERT_TRUE(ReadCleanupJournal(folder, journal));
    t.file(L"elsewhere.txt", "someone else's");
    journal.entries.push_back({JournalKind::File, journal.began, t.path(L"elsewhere.txt"), {}, ~0ull});
    journal.entries.push_back({JournalKind::EmptyFolder, journal.began, L"made\\here", {}, ~0ull});
    ASSERT_EQ(WriteCleanupJournal(journal), 0u);

    size_t asked = 0;
    UINT lastDone = 0, lastTotal = 0;
    RESTORE_EVENTS events;
    events.progress = [&](UINT done, UINT total) { lastDone = done, lastTotal = total; };
    events.keepGoing = [&] { return ++asked < 10; };
    FOLDER_RESTORE first = RestoreCleanups({folder, folder + L"\\"}, RestoreMode::Restore, nullptr, events).at(0);
    EXPECT_TRUE(first.stopped);
    EXPECT_LT(first.restored.size(), 31u);
    EXPECT_EQ(lastTotal, 31u);
    EXPECT_EQ(lastDone, first.restored.size());
    size_t refused = 0;
    for (const RESTORE_FAILURE& f : first.failures) refused += f.error == kErrorOutsideFolder;
    EXPECT_EQ(refused, 2u);
    EXPECT_TRUE(t.exists(L"elsewhere.txt"));
    EXPECT_EQ(JournaledItemCount(folder), 31u - first.restored.size());   // the refused lines are forgotten

    // The same folder twice, spelt twice: restored once, with no false failure.
    const std::vector<FOLDER_RESTORE> rest = RestoreCleanups({folder, folder + L"\\"}, RestoreMode::Restore);
    ASSERT_EQ(rest.size(), 1u);
    for (const RESTORE_FAILURE& f : rest[0].failures) ADD_FAILURE() << testutil::Narrow(f.path) << " " << f.error;
    EXPECT_FALSE(rest[0].stopped);
    EXPECT_EQ(first.restored.size() + rest[0].restored.size(), 31u);
    EXPECT_FALSE(HasCleanupJournal(folder));
    EXPECT_EQ(testutil::SnapshotTree(folder, false), before);
    EXPECT_FALSE(t.exists(L"made"));
}

// Every object is in the journal from the moment the shell says it went: a
// run killed at any item can be undone up to it.
TEST(RestoreRun, TheJournalHoldsEveryItemAsSoonAsTheShellTookIt)
{
    ScopedComInit com;
    TempTree t(L"asyougo");
    testutil::MakeSmallSolution(t, L"S", {L"a.log", L"b.log", L"c.log", L"d.log", L"Debug/x.obj"});
    const std::wstring folder = t.path(L"S");
    testutil::FakeHost host;
    std::vector<size_t> journaled;
    host.onItem = [&](size_t) { journaled.push_back(JournaledItemCount(folder)); };
    host.Run({folder});
    ASSERT_TRUE(host.EndedWithoutErrors());
    EXPECT_EQ(journaled, (std::vector<size_t>{1, 2, 3, 4, 5}));
}

// A place taken after the restore looked at it, before the shell moves the
// item back: the shell is never let overwrite it, and its question (under
// Wine, the bin's "replace?" box) is never waited on.
TEST(RestoreRun, APlaceTakenWhileTheRestoreRunsKeepsItsNewObject)
{
    ScopedComInit com;
    TempTree t(L"takenlater");
    testutil::MakeSmallSolution(t, L"S", {L"a.log", L"b.log", L"c.log"});
    const std::wstring folder = t.path(L"S");
    testutil::FakeHost host;
    host.Run({folder});
    ASSERT_TRUE(host.EndedWithoutErrors()) << testutil::Narrow(host.logText);
    CLEANUP_JOURNAL journal;
    ASSERT_TRUE(ReadCleanupJournal(folder, journal));
    ASSERT_EQ(journal.entries.size(), 3u);

    // Before the third entry's turn the other two are queued for the shell: a
    // build makes all three files again just then.
    size_t asked = 0;
    RESTORE_EVENTS events;
    events.keepGoing = [&] {
        if (++asked == 3)
            for (const JOURNAL_ENTRY& e : journal.entries) t.file(e.path.substr(t.root().size() + 1), "built again");
        return true;
    };
    const FOLDER_RESTORE r = RestoreCleanups({folder}, RestoreMode::Restore, nullptr, events).at(0);
    EXPECT_EQ(asked, 3u);
    EXPECT_TRUE(r.restored.empty());
    // The third is seen taken before it is queued; the shell leaves the two
    // queued ones in the bin, and their places' new files are not taken for them.
    ASSERT_EQ(r.failures.size(), 3u);
    for (const RESTORE_FAILURE& f : r.failures) EXPECT_EQ(f.error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    for (const JOURNAL_ENTRY& e : journal.entries) {
        EXPECT_EQ(testutil::ReadBytes(e.path), "built again") << testutil::Narrow(e.path);
        EXPECT_TRUE(testutil::InTrash(e.path)) << testutil::Narrow(e.path);
    }
    EXPECT_EQ(JournaledItemCount(folder), 3u);   // the next restore may still bring them back
}
