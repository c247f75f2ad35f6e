// Do-not-delete files as people write them, wherever they lie, at any length,
// on real trees cleaned into the real trash.
#include <gtest/gtest.h>


#include "engine/records/Beep.h"
#include "engine/planning/KeepListReader.h"
#include "engine/running/LogLines.h"
#include "engine/running/Transaction.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using namespace std::string_literals;
using testutil::Narrow;
using testutil::TempTree;

namespace {

const std::wstring kList = kDoNotDeleteFileName;

BOOL Clean(const std::wstring& folder) { return CleanSolutionFolder(L"App", FALSE, folder, nullptr); }

void NoBeep(UINT) {}

} // namespace

TEST(KeepLists, EverySpellingAndEncodingProtects)
{
    const std::wstring japanese = L"\u65E5\u672C\u8A9E.dat", cafe = L"Caf\u00E9.cfg";
    struct Case { const char* what; std::function<std::string(const TempTree&)> list; std::wstring folderSuffix; };
    const Case cases[] = {
        {"UTF-8 without a mark", [&](const TempTree&) { return Narrow(L"Debug\\" + japanese + L"\r\nRelease\\" + cafe); }, L""},
        {"UTF-16 without a mark",
         [&](const TempTree&) { return testutil::EncodeUtf16(L"Debug\\" + japanese + L"\r\nRelease\\" + cafe, false, false); },
         L""},
        {"UTF-32",
         [&](const TempTree&) { return testutil::EncodeUtf32(L"Debug\\" + japanese + L"\r\nRelease\\" + cafe, false); }, L""},
        {"quoted full paths", [&](const TempTree& t) {
             return Narrow(L"\"" + t.path(L"Sol/Debug/" + japanese) + L"\"\r\n  \"" + t.path(L"Sol/Release/" + cafe) + L"\"  ");
         }, L""},
        {"slashes, dot segments, doubled separators",
         [&](const TempTree&) { return Narrow(L"./Debug//" + japanese + L"\r\nobj\\..\\Release\\\\" + cafe); }, L""},
        {"folder argument spelled oddly", [&](const TempTree&) { return Narrow(L"Debug\\" + japanese + L"\nRelease\\" + cafe); },
         L"\\..\\Sol//"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree t(L"spell");
        t.file(L"Sol/App.sln");
        t.file(L"Sol/Debug/" + japanese, "keep");
        t.file(L"Sol/Debug/a.obj", "obj");
        t.file(L"Sol/Release/" + cafe, "keep");
        t.file(L"Sol/Release/a.obj", "obj");
        t.file(L"Sol/obj/x.obj", "obj");
        t.file(L"Sol/" + kList, c.list(t));
        ASSERT_TRUE(Clean(t.path(L"Sol") + c.folderSuffix));
        EXPECT_TRUE(t.exists(L"Sol/Debug/" + japanese));
        EXPECT_TRUE(t.exists(L"Sol/Release/" + cafe));
        EXPECT_FALSE(t.exists(L"Sol/Debug/a.obj"));
        EXPECT_FALSE(t.exists(L"Sol/Release/a.obj"));
        EXPECT_FALSE(t.exists(L"Sol/obj"));
        EXPECT_EQ(t.trashed({L"Sol/Debug/" + japanese, L"Sol/Release/" + cafe}), testutil::Paths{});
    }
}

TEST(KeepLists, ListsAnywhereInTheTreeProtectAndStay)
{
    TempTree t(L"where");
    t.file(L"Sol/App.sln");
    // Deep inside folders planned whole, and inside .vs.
    t.file(L"Sol/App/bin/Debug/net8.0/appsettings.Development.json", "{}");
    t.file(L"Sol/App/bin/Debug/net8.0/App.dll", "dll");
    t.file(L"Sol/App/bin/Debug/net8.0/" + kList, "appsettings.Development.json");
    t.file(L"Sol/App/obj/a/b/state.cache", "cache");
    t.file(L"Sol/App/obj/a/b/x.obj", "obj");
    t.file(L"Sol/App/obj/a/" + kList, "b\\state.cache");
    t.file(L"Sol/.vs/App/v17/ipch/keep.ipch", "ipch");
    t.file(L"Sol/.vs/App/v17/ipch/drop.ipch", "ipch");
    t.file(L"Sol/.vs/App/v17/" + kList, "ipch\\keep.ipch");
    ::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_HIDDEN);
    // A list that names nothing still stays, in Debug and in Release.
    t.file(L"Sol/Lib/Debug/" + kList, "");
    t.file(L"Sol/Lib/Debug/a.obj", "obj");
    t.file(L"Sol/Lib/Release/" + kList, "");
    t.file(L"Sol/Lib/Release/a.obj", "obj");

    ASSERT_TRUE(CleanSolutionFolder(L"App", TRUE, t.path(L"Sol"), nullptr));
    for (const wchar_t* kept : {L"Sol/App/bin/Debug/net8.0/appsettings.Development.json", L"Sol/App/obj/a/b/state.cache",
                                L"Sol/.vs/App/v17/ipch/keep.ipch"})
        EXPECT_TRUE(t.exists(kept)) << testutil::Narrow(kept);
    for (const wchar_t* gone : {L"Sol/App/bin/Debug/net8.0/App.dll", L"Sol/App/obj/a/b/x.obj",
                                L"Sol/.vs/App/v17/ipch/drop.ipch", L"Sol/Lib/Debug/a.obj", L"Sol/Lib/Release/a.obj"})
        EXPECT_FALSE(t.exists(gone)) << testutil::Narrow(gone);
    for (const wchar_t* folder : {L"Sol/App/bin/Debug/net8.0/", L"Sol/App/obj/a/", L"Sol/.vs/App/v17/",
                                  L"Sol/Lib/Debug/", L"Sol/Lib/Release/"})
        EXPECT_TRUE(t.exists(folder + kList)) << testutil::Narrow(folder);
}

TEST(KeepLists, AnUnreadableListFailsItsFolderUntouchedAndIsNamed)
{
    const std::pair<std::string, DWORD> cases[] = {
        {"\x0E\xFE\xFF" "a", ERROR_NOT_SUPPORTED},   // SCSU: never read
        {"Debug\\ke\0ep.dat\r\nDebug\\a.obj\r\n"s, ERROR_INVALID_DATA},   // a zero in the first line
    };
    BeepHook previous = SetEngineBeepHook(&NoBeep);
    for (const auto& [list, error] : cases) {
        SCOPED_TRACE(error);
        TempTree t(L"unread");
        t.file(L"Sol/App.sln");
        t.file(L"Sol/Debug/a.obj", "obj");
        t.file(L"Sol/Debug/keep.dat", "keep");
        t.file(L"Sol/" + kList, list);
        const std::string before = testutil::SnapshotTree(t.root());
        testutil::FakeHost host;
        host.Run({t.path(L"Sol")});

        const std::wstring file = t.path(L"Sol/" + kList);
        const std::vector<std::wstring> lines = host.LogLines();
        EXPECT_GE(lines.size(), 3u);
        if (lines.size() < 3) continue;
        EXPECT_EQ(lines[1], FormatText(L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied. %ls",
                                       static_cast<int>(kErrorUnreadableKeepList), t.path(L"Sol").c_str(),
                                       GetErrorText(kErrorUnreadableKeepList).c_str()));
        EXPECT_EQ(lines[2], UnreadableListLine(file, error));
        EXPECT_EQ(testutil::SnapshotTree(t.root()), before);
    }
    SetEngineBeepHook(previous);
}
