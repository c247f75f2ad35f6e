// The journal of a clean-up: what it holds, when it is replaced, and a clean-up
// that goes on when it cannot be written. Real folders, the real trash.
#include <gtest/gtest.h>

#include "cli/Json.h"
#include "engine/undo/RemovalJournal.h"
#include "engine/undo/RecycleBin.h"
#include "support/Utf8.h"
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

// Every name a folder may hold comes back from the journal unit for unit, and
// prints as valid JSON: a surrogate of its own is kept in the journal as its
// own three bytes (all other text as the plain UTF-8 that journals always
// held) and escaped in JSON, as are control characters.
TEST(CleanupJournal, NamesOfAnyUnitsComeBackExactlyAndPrintAsValidJson)
{
    const struct CASE {
        const char* name;
        std::wstring text;
        std::string utf8;      // the journal's bytes for it
        std::wstring json;     // JsonString's, between the quotes
        bool plain;            // valid UTF-16: the bytes are those the system's own conversion gives
    } cases[] = {
        {"ASCII", L"App\\Debug", "App\\Debug", L"App\\\\Debug", true},
        {"BMP", L"Caf\u00e9 \u65e5\u672c", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", L"Caf\u00e9 \u65e5\u672c", true},
        {"a surrogate pair", L"x\xD83D\xDE00y", "x\xF0\x9F\x98\x80y", L"x\xD83D\xDE00y", true},
        {"a lone high", L"a\xD800" L"b", "a\xED\xA0\x80" "b", L"a\\ud800b", false},
        {"a lone low", L"a\xDFFF" L"b", "a\xED\xBF\xBF" "b", L"a\\udfffb", false},
        {"a reversed pair", L"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD", L"\\ude00\\ud83d", false},
        {"a high at the end", L"end\xDBFF", "end\xED\xAF\xBF", L"end\\udbff", false},
        {"control characters", L"\x01\x1f\x7f\x85~", "\x01\x1f\x7f\xC2\x85~", L"\\u0001\\u001f\\u007f\\u0085~", true},
    };
    TempTree t(L"journal");
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = t.path(L"S") + c.text, path = folder + L"\\" + c.text + L".obj",
                           binItem = L"C:\\$Recycle.Bin\\S-1-5-21\\$R" + c.text;
        ASSERT_EQ(WriteCleanupJournal({folder, 7, {{JournalKind::File, 8, path, binItem, 3}}}), 0u);
        const CLEANUP_JOURNAL read = Read(folder);
        EXPECT_EQ(read.folder, folder);
        ASSERT_EQ(read.entries.size(), 1u);
        EXPECT_EQ(read.entries[0].path, path);
        EXPECT_EQ(read.entries[0].binItem, binItem);

        // On disk: the text's own bytes, and for valid text the very file of
        // the system's conversion, as older journals were written.
        std::wstring expected = L"Mopwright clean-up journal 1\nsolution\t" + folder + L"\nbegan\t7\nfile\t8\t" + path +
                                L"\nbin\t" + binItem + L"\nsize\t3\n";
        std::string bytes;
        {
            UniqueFile f(CreateFileW(CleanupJournalPath(folder).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(f);
            bytes.resize(GetFileSize(f.get(), nullptr));
            DWORD got = 0;
            ASSERT_TRUE(ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr));
        }
        const std::string base = testutil::Narrow(t.path(L"S"));
        EXPECT_NE(bytes.find("\nfile\t8\t" + base + c.utf8 + "\\" + c.utf8 + ".obj\n"), std::string::npos);
        if (c.plain) {
            EXPECT_EQ(bytes, testutil::Narrow(expected));
        }

        // JSON: the escapes expected, nothing left that UTF-8 cannot carry,
        // and a JSON reader gets the very units back.
        const std::wstring json = JsonString(c.text);
        EXPECT_EQ(json, L"\"" + c.json + L"\"");
        std::wstring back;
        size_t length = 0;
        ASSERT_TRUE(testutil::ParseJsonString(json, back, &length));
        EXPECT_EQ(length, json.size());
        EXPECT_EQ(back, c.text);
        EXPECT_EQ(Utf8FromWide(json), Utf8FromWide(json, LoneSurrogates::Keep));

        EXPECT_EQ(WriteCleanupJournal({folder, 7, {}}), 0u);   // removed
    }
    // Quotes, backslashes and the characters JSON names.
    std::wstring back;
    EXPECT_EQ(JsonString(L"\"\\\t\n\r\b"), L"\"\\\"\\\\\\t\\n\\r\\u0008\"");
    ASSERT_TRUE(testutil::ParseJsonString(JsonString(L"\"\\\t\n\r\b"), back));
    EXPECT_EQ(back, L"\"\\\t\n\r\b");
}
