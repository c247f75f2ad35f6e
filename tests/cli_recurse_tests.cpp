// The console program over a whole source folder: finding solutions, leaving
// recent ones out, and Explorer's folder menu in the real registry.
#include <gtest/gtest.h>

#include "engine/planning/KeepListReader.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"
#include "tests/TestUtil.h"

using testutil::Quoted;
using testutil::TempTree;

namespace {

// The "folder" values of a JSON document, in order.
std::vector<std::wstring> JsonFolders(const std::string& json, const std::string& field = "\"folder\":\"")
{
    std::vector<std::wstring> folders;
    for (size_t at = json.find(field); at != std::string::npos; at = json.find(field, at + 1)) {
        std::string value;
        for (size_t i = at + field.size(); i < json.size() && json[i] != '"'; ++i) {
            if (json[i] == '\\') ++i;
            value.push_back(json[i]);
        }
        folders.push_back(testutil::Widen(value));
    }
    return folders;
}

std::string JsonEscaped(const std::wstring& text)
{
    std::string out;
    for (char c : testutil::Narrow(text)) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

void SetWriteTime(const std::wstring& path, int daysAgo)
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= static_cast<ULONGLONG>(daysAgo) * 24 * 3600 * 10000000ull;
    FILETIME when{t.LowPart, t.HighPart};
    UniqueFile f(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ::SetFileTime(f.get(), nullptr, nullptr, &when);
}

std::wstring RegString(const std::wstring& key, const wchar_t* value)
{
    wchar_t data[1024] = L"";
    DWORD size = sizeof(data);
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return data;
}

} // namespace

TEST(CliRecurse, FindsEverySolutionOnceInPathOrderAndNothingItMustNotReach)
{
    TempTree t(L"recurse");
    t.file(L"root/A/App.sln");
    t.file(L"root/A/Debug/a.obj", std::string(100, 'a'));
    t.file(L"root/A/nested/Inner.slnx");   // inside A's tree: after A
    t.file(L"root/A/nested/obj/b.obj", std::string(300, 'b'));
    t.files({L"root/B/Debug/Hidden/Hidden.sln",   // inside a Debug folder: never searched
             L"root/B/.git/modules/M/M.sln",   // inside .git: never searched
             L"root/ProjectOnly/App.vcxproj",   // no solution file
             L"Outside/Linked.sln"});
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"root/link"), t.path(L"Outside")));   // never followed
    const std::wstring root = t.path(L"root");

    testutil::PROCESS_RESULT r = testutil::RunCli(L"--recurse --dry-run --json " + Quoted(root) + L" " + Quoted(root));
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(JsonFolders(r.out), (std::vector<std::wstring>{t.path(L"root/A"), t.path(L"root/A/nested")})) << r.out;

    // Text: the table of folders by bytes to free, largest first, with a total
    // in which every item counts once: the nested solution holds its own.
    r = testutil::RunCli(L"--recurse --dry-run " + Quoted(root));
    std::vector<std::wstring> lines = testutil::SplitLines(testutil::Widen(r.out));
    ASSERT_GE(lines.size(), 5u) << r.out;
    lines.pop_back();   // after the last line break
    EXPECT_EQ(std::vector<std::wstring>(lines.end() - 4, lines.end()),
              (std::vector<std::wstring>{L"   Bytes to free  Solution folder", L"             300  " + t.path(L"root/A/nested"),
                                         L"             100  " + t.path(L"root/A"), L"             400  Total"}))
        << r.out;

    // A real clean-up of both, parent first; no progress line on a redirected stream.
    r = testutil::RunCli(L"--recurse " + Quoted(root));
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_LT(r.out.find(testutil::Narrow(L"Success! Cleaned up folder: \"" + t.path(L"root/A") + L"\"")),
              r.out.find(testutil::Narrow(L"Success! Cleaned up folder: \"" + t.path(L"root/A/nested") + L"\"")));
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(t.present({L"root/A/Debug", L"root/A/nested/obj"}).empty());
    EXPECT_TRUE(t.missing({L"root/B/Debug/Hidden/Hidden.sln", L"root/B/.git/modules/M/M.sln", L"Outside/Linked.sln"}).empty());
}

TEST(CliRecurse, SolutionsNestedInEachOtherPlanEveryItemOnce)
{
    // Top\A.sln, Top\n\A.sln, Top\n\n\A.sln, ..., each with a Debug folder.
    TempTree t(L"nested");
    const int kDepth = 40;
    std::wstring rel = L"Top";
    for (int i = 0; i < kDepth; ++i, rel += L"/n") {
        t.file(rel + L"/A.sln");
        t.file(rel + L"/Debug/x.obj");
    }
    testutil::PROCESS_RESULT r = testutil::RunCli(L"--recurse --dry-run --json " + Quoted(t.path(L"Top")));
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(JsonFolders(r.out).size(), static_cast<size_t>(kDepth));
    // Each Debug folder once, in its own solution, not again through every one above it.
    EXPECT_NE(r.out.find("\"totals\":{\"items\":" + std::to_string(kDepth) + ",\"bytes\":" + std::to_string(kDepth) + ","),
              std::string::npos) << r.out.substr(r.out.size() - 300);
}

TEST(CliRecurse, AnInnerSolutionInsideAFolderSentWholeCountsOnce)
{
    struct CASE {
        const wchar_t* sentWhole;   // in Outer, holding Inner
        bool recurse;               // found by --recurse, else given with Outer
        int items;                  // what the dry run removes in all
    };
    const CASE cases[] = {
        {L"obj", false, 1},              // the search never enters obj
        {L"Release/x.tlog", true, 2},    // Release, removed when empty, and its .tlog folder
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(testutil::Narrow(c.sentWhole));
        TempTree t(L"whole");
        const std::wstring whole = std::wstring(L"Outer/") + c.sentWhole;
        t.file(L"Outer/App.sln");
        t.file(whole + L"/b.obj", std::string(30, 'b'));
        t.file(whole + L"/Inner/Inner.sln", std::string(5, 's'));
        t.file(whole + L"/Inner/Debug/a.obj", std::string(100, 'a'));
        const std::wstring args = c.recurse ? L"--recurse " + Quoted(t.path(L"Outer"))
                                            : Quoted(t.path(L"Outer")) + L" " + Quoted(t.path(whole + L"/Inner"));
        const testutil::PROCESS_RESULT r = testutil::RunCli(L"--dry-run --json " + args);
        EXPECT_EQ(r.exitCode, 0u) << r.out;
        EXPECT_EQ(JsonFolders(r.out), (std::vector<std::wstring>{t.path(L"Outer"), t.path(whole + L"/Inner")})) << r.out;
        // The folder sent whole takes Inner with it: its 135 bytes count once,
        // in the totals and for the Recycle Bin.
        const size_t totals = r.out.rfind("\"totals\":{");
        ASSERT_NE(totals, std::string::npos) << r.out;
        const std::string expected = "\"totals\":{\"items\":" + std::to_string(c.items) + ",\"bytes\":135,";
        EXPECT_EQ(r.out.substr(totals, expected.size()), expected) << r.out;
        EXPECT_NE(r.out.find("\"planned\":135,"), std::string::npos) << r.out;
    }
}

TEST(CliRecurse, ASolutionInsideAnotherIsCheckedWhereALinkOrADriveRootLiesBetween)
{
    // Through a link to the prefix, whose drive_c (C:\) holds the Windows
    // folder: a dry run only, so that nothing of the prefix is at stake.
    const std::wstring prefix = testutil::WindowsPath(testutil::EnvVar(L"WINEPREFIX"));
    ASSERT_FALSE(prefix.empty());
    TempTree t(L"between");
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"prefix"), prefix));
    const std::wstring planted[] = {prefix + L"\\MwNested.sln", prefix + L"\\drive_c\\windows\\MwNested.sln"};
    for (const std::wstring& sln : planted)
        UniqueFile(::CreateFileW(sln.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    // Another drive's root inside an ordinary solution folder: cleaned for real.
    t.files({L"Outer/App.sln", L"Outer/Debug/a.obj", L"Outer/drive/App.sln", L"Outer/drive/Debug/b.obj"});
    const testutil::MappedDrive drive(L'q', t.path(L"Outer/drive"));
    ASSERT_TRUE(drive.ok());

    struct CASE {
        std::wstring folder;    // given to --recurse
        std::wstring refused;   // a solution folder inside it that must be refused, with all it holds
        bool clean;             // also cleaned for real
    };
    const CASE cases[] = {
        {t.path(L"prefix"), t.path(L"prefix\\drive_c\\windows"), false},
        {t.path(L"Outer"), t.path(L"Outer\\drive"), true},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(testutil::Narrow(c.refused));
        testutil::PROCESS_RESULT r = testutil::RunCli(L"--recurse --dry-run --json " + Quoted(c.folder));
        EXPECT_EQ(JsonFolders(r.out), (std::vector<std::wstring>{c.folder, c.refused})) << r.out;
        const std::string refused = "{\"folder\":\"" + JsonEscaped(c.refused) + "\",\"status\":\"top-level\"";
        EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("{\"path\":\"" + JsonEscaped(c.refused) + "\\\\"), std::string::npos) << r.out;
        if (!c.clean) continue;
        r = testutil::RunCli(L"--recurse " + Quoted(c.folder));
        EXPECT_NE(r.out.find(testutil::Narrow(L"ERROR: Cannot clean a system or top-level folder: \"" + c.refused)),
                  std::string::npos) << r.out;
        EXPECT_FALSE(t.exists(L"Outer/Debug"));
        EXPECT_TRUE(t.exists(L"Outer/drive/Debug/b.obj"));
    }
    for (const std::wstring& sln : planted) ::DeleteFileW(sln.c_str());
}

TEST(CliRecurse, NeverEntersTheRecycleBinsStore)
{
    struct CASE {
        const wchar_t* store;   // what the bin keeps, below the solution folder
        bool desktopTrash;      // the trash folder that holds Wine's Recycle Bin
    };
    const CASE cases[] = {
        {L"$Recycle.Bin/S-1-5-21-1004336348-1177238915-682003330-1001/$R1A2B3C", false},
        {L"$RECYCLE.BIN/S-1-5-18/$RX0001", false},
        {L"RECYCLER/S-1-5-21-1-2-3-500/Dc7", false},
        {L"src/Recycled/Dc1", false},
        {L"share/Trash/files/Old", true},
    };
    const std::wstring dataHome = testutil::EnvVar(L"XDG_DATA_HOME");
    const std::wstring overrides = testutil::EnvVar(L"WINEDLLOVERRIDES");
    for (const CASE& c : cases) {
        SCOPED_TRACE(testutil::Narrow(c.store));
        TempTree t(L"bin");
        t.files({L"App.sln", L"Debug/a.obj"});
        const std::wstring store = c.store;
        t.file(store + L"/Old.sln");   // a solution deleted once: not one to clean again
        t.file(store + L"/x64/Debug/b.obj");
        t.file(store + L"/c.log");
        if (c.desktopTrash) {
            // Nothing may write into the trash's data folder, which goes with the tree.
            ::SetEnvironmentVariableW(L"XDG_DATA_HOME", testutil::LinuxPath(t.path(L"share")).c_str());
            ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", (overrides + L";winemenubuilder.exe=d").c_str());
        }
        const testutil::PROCESS_RESULT r = testutil::RunCli(L"--recurse --dry-run --json " + Quoted(t.root()));
        ::SetEnvironmentVariableW(L"XDG_DATA_HOME", dataHome.c_str());
        ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
        EXPECT_EQ(r.exitCode, 0u) << r.out;
        EXPECT_EQ(JsonFolders(r.out), std::vector<std::wstring>{t.root()}) << r.out;
        EXPECT_NE(r.out.find("{\"path\":\"" + JsonEscaped(t.path(L"Debug\\")) + "\""), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(JsonEscaped(t.path(store))), std::string::npos) << r.out;
    }
}

TEST(CliRecurse, ADeepChainIsCleanedAsFarAsTheShellReachesAndNoFurther)
{
    // Top\A.sln, Top\nnn...\A.sln, ... 12 deep, each with a Debug folder, the
    // deepest well past the shell's reach: the shell takes only the shallower
    // ones; the others stay and fail, each refused before any shell call.
    TempTree t(L"deep");
    const int kDepth = 12;
    std::vector<std::wstring> debug;
    std::wstring rel = L"Top";
    for (int i = 0; i < kDepth; ++i, rel += L"\\" + std::wstring(24, L'n')) {
        t.file(rel + L"\\A.sln");
        t.file(rel + L"\\Debug\\x.obj");
        debug.push_back(rel + L"\\Debug");
    }
    const testutil::PROCESS_RESULT r = testutil::RunCli(L"--recurse " + Quoted(t.path(L"Top")));
    EXPECT_EQ(r.exitCode, 1u) << r.err;
    size_t gone = 0;
    for (const std::wstring& d : debug) {
        const std::wstring path = t.path(d);
        const bool reachable = path.size() < MAX_PATH;
        gone += reachable;
        EXPECT_NE(t.exists(d), reachable) << testutil::Narrow(path);
        const std::string failed = testutil::Narrow(FormatText(L"FAILED: (536871180) \"%ls\"", path.c_str()));
        EXPECT_EQ(r.out.find(failed) != std::string::npos, !reachable) << testutil::Narrow(path);
    }
    EXPECT_GT(gone, 2u);
    EXPECT_LT(gone, debug.size());
}

TEST(CliRecurse, OlderThanLeavesOutWhatChangedRecently)
{
    TempTree t(L"older");
    for (const wchar_t* s : {L"Old", L"Recent"}) {
        t.file(std::wstring(s) + L"/App.sln");
        t.file(std::wstring(s) + L"/main.cpp");
        t.file(std::wstring(s) + L"/Debug/a.obj");
    }
    // Old: only its build output is new, and that would be removed anyway.
    SetWriteTime(t.path(L"Old/App.sln"), 40);
    SetWriteTime(t.path(L"Old/main.cpp"), 30);
    SetWriteTime(t.path(L"Recent/App.sln"), 40);
    SetWriteTime(t.path(L"Recent/main.cpp"), 2);
    // Spared: the only recent change is to a file that a do-not-delete list
    // keeps inside Debug, which would otherwise go whole.
    t.files({L"Spared/App.sln", L"Spared/Debug/keep.dat"});
    t.file(std::wstring(L"Spared/Debug/") + kDoNotDeleteFileName, "keep.dat\r\n");
    SetWriteTime(t.path(L"Spared/App.sln"), 40);
    SetWriteTime(t.path(L"Spared/Debug/") + kDoNotDeleteFileName, 40);
    SetWriteTime(t.path(L"Spared/Debug/keep.dat"), 2);

    testutil::PROCESS_RESULT r = testutil::RunCli(L"--older-than 7 --json " + Quoted(t.path(L"Old")) + L" " +
                                                  Quoted(t.path(L"Recent")) + L" " + Quoted(t.path(L"Spared")));
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(JsonFolders(r.out, "\"skipped\":[{\"folder\":\""), std::vector<std::wstring>{t.path(L"Recent")}) << r.out;
    EXPECT_NE(r.out.find(JsonEscaped(t.path(L"Spared")) + "\",\"newestChange\""), std::string::npos) << r.out;
    EXPECT_TRUE(t.exists(L"Spared/Debug/keep.dat"));
    EXPECT_NE(r.out.find("\"newestChange\":\""), std::string::npos);
    EXPECT_FALSE(t.exists(L"Old/Debug"));
    EXPECT_TRUE(t.exists(L"Recent/Debug/a.obj"));

    // In text, the date that kept the folder; a longer span keeps nothing out.
    r = testutil::RunCli(L"--dry-run --older-than 7 " + Quoted(t.path(L"Recent")));
    EXPECT_NE(r.out.find(testutil::Narrow(L": " + t.path(L"Recent"))), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Skipped, changed "), r.out.find("Skipped, changed 20")) << r.out;
    r = testutil::RunCli(L"--older-than 1 " + Quoted(t.path(L"Recent")));
    EXPECT_FALSE(t.exists(L"Recent/Debug"));
    EXPECT_EQ(testutil::RunCli(L"--older-than soon " + Quoted(t.path(L"Recent"))).exitCode, 2u);
}

TEST(CliShellMenu, InstallAndUninstallWriteAndRemoveExactlyTheirEntry)
{
    const std::wstring key = L"Software\\Classes\\Directory\\shell\\Mopwright";
    // Installed, the two programs stand side by side; the build tree keeps them apart.
    TempTree t(L"menu");
    const std::wstring cli = t.path(L"mopwright-cli.exe"), window = t.path(L"mopwright.exe");
    ASSERT_TRUE(::CopyFileW(testutil::WindowsPath(testutil::Widen(MW_CLI_EXE)).c_str(), cli.c_str(), FALSE));
    auto run = [&](const wchar_t* option) { return testutil::RunProcess(Quoted(cli) + L" " + option); };
    run(L"--uninstall-shell-menu");

    // Without the window program there is nothing for the entry to start.
    testutil::PROCESS_RESULT r = run(L"--install-shell-menu");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.err.find(testutil::Narrow(window) + " is not there"), std::string::npos) << r.err;
    EXPECT_EQ(RegString(key, nullptr), L"<absent>");

    ASSERT_TRUE(::CopyFileW(testutil::WindowsPath(testutil::Widen(MW_APP_EXE)).c_str(), window.c_str(), FALSE));
    r = run(L"--install-shell-menu");
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_NE(r.out.find("Added \"Clean with Mopwright\""), std::string::npos) << r.out;
    EXPECT_EQ(RegString(key, nullptr), L"Clean with Mopwright");
    EXPECT_EQ(RegString(key + L"\\command", nullptr), L"\"" + window + L"\" \"%1\"");
    r = run(L"--install-shell-menu");
    EXPECT_NE(r.out.find("already holds"), std::string::npos) << r.out;

    r = run(L"--uninstall-shell-menu");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_NE(r.out.find("Removed"), std::string::npos) << r.out;
    EXPECT_EQ(RegString(key, nullptr), L"<absent>");
    HKEY shell = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\shell", 0, KEY_READ, &shell),
              ERROR_SUCCESS) << "the parent keys stay";
    if (shell) ::RegCloseKey(shell);
    r = run(L"--uninstall-shell-menu");
    EXPECT_NE(r.out.find("nothing to remove"), std::string::npos) << r.out;
}
