// The console program, run as a process on real trees.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/PathUtil.h"
#include "tests/TestUtil.h"

using testutil::Paths;
using testutil::PROCESS_RESULT;
using testutil::TempTree;

namespace {

using testutil::Quoted;
using testutil::RunCli;

using Words = std::vector<std::string>;

// The words before `path` on the output line that ends with it (none when no line does).
Words LineEndingWith(const std::string& text, const std::wstring& path)
{
    Words words;
    for (const std::wstring& line : testutil::SplitLines(testutil::Widen(text))) {
        if (!line.ends_with(path)) continue;
        for (const std::wstring& word : SplitTokens(line.substr(0, line.size() - path.size()), L" "))
            words.push_back(testutil::Narrow(word));
        break;
    }
    return words;
}

std::wstring FileNamePartOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// The console program in a console of its own, where its standard error is a
// console: each text its cursor's row showed while it ran (each change once),
// and the console's width.
struct CONSOLE_WATCH {
    std::vector<std::wstring> rows;
    size_t width = 0;
    DWORD exitCode = 0xFFFFFFFF;
};
CONSOLE_WATCH WatchConsole(const std::wstring& args)
{
    CONSOLE_WATCH watch;
    testutil::ChildProcess child(Quoted(testutil::WindowsPath(testutil::Widen(MW_CLI_EXE))) + L" " + args, nullptr,
                                 CREATE_NEW_CONSOLE);
    if (!child.started()) return watch;
    const DWORD kStd[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE saved[3];
    for (int i = 0; i < 3; ++i) saved[i] = ::GetStdHandle(kStd[i]);
    ::FreeConsole();
    while (!::AttachConsole(child.id()) && !child.WaitExit(10)) {}
    {
        UniqueFile screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        const DWORD start = ::GetTickCount();
        for (bool running = true; running && ::GetTickCount() - start < 120000;) {
            running = !child.WaitExit(5);
            CONSOLE_SCREEN_BUFFER_INFO info{};
            if (!::GetConsoleScreenBufferInfo(screen.get(), &info)) continue;
            watch.width = static_cast<size_t>(info.dwSize.X);
            std::wstring row(watch.width, L' ');
            DWORD got = 0;
            ::ReadConsoleOutputCharacterW(screen.get(), row.data(), static_cast<DWORD>(row.size()),
                                          COORD{0, info.dwCursorPosition.Y}, &got);
            row.resize(std::min<size_t>(got, row.find_last_not_of(L' ') + 1));
            if (!row.empty() && (watch.rows.empty() || watch.rows.back() != row)) watch.rows.push_back(row);
        }
    }
    // A console of our own again: without one, every later child gets a
    // console host of its own, which holds the child's inherited output files
    // open for a while after the child has ended.
    ::FreeConsole();
    ::AllocConsole();
    for (int i = 0; i < 3; ++i) ::SetStdHandle(kStd[i], saved[i]);
    ::GetExitCodeProcess(child.handle(), &watch.exitCode);
    return watch;
}

// Built for Release, with an old Debug folder, a .suo and one protected object file.
const testutil::CPP_SOLUTION kReleaseBuild{
    .intermediates = L"x64/Release", .releaseObj = false, .protectedObj = true, .leftovers = true};

} // namespace

TEST(CliUsage, HelpAndWrongUsage)
{
    PROCESS_RESULT help = RunCli(L"--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_NE(help.out.find("--dry-run"), std::string::npos);
    EXPECT_NE(help.out.find("Usage: mopwright-cli"), std::string::npos);

    PROCESS_RESULT none = RunCli(L"");
    EXPECT_EQ(none.exitCode, 2u);
    EXPECT_NE(none.err.find("no folder"), std::string::npos);
    EXPECT_NE(none.err.find("Usage:"), std::string::npos);
    EXPECT_TRUE(none.out.empty());

    PROCESS_RESULT unknown = RunCli(L"--frobnicate C:\\x");
    EXPECT_EQ(unknown.exitCode, 2u);
    EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos);

    PROCESS_RESULT windowsHelp = RunCli(L"/?");
    EXPECT_EQ(windowsHelp.exitCode, 0u);
    EXPECT_NE(windowsHelp.out.find("Usage: mopwright-cli"), std::string::npos) << windowsHelp.out;
}

TEST(CliUsage, WrongUsageIsRefusedBeforeAnythingIsTouched)
{
    TempTree t(L"usage");
    testutil::MakeSmallSolution(t, L"Sol");
    const std::wstring folder = L" " + Quoted(t.path(L"Sol"));
    const std::string before = testutil::SnapshotTree(t.root());
    const std::pair<std::wstring, std::wstring> cases[] = {   // arguments, the start of the line that says why
        // Options as word processors turn "--" into dashes, and as Windows tools spell them.
        {L"/dry-run" + folder, L"/dry-run is "},
        {L"\u2014dry-run" + folder, L"\u2014dry-run is "},
        {L"\u2013recurse" + folder, L"\u2013recurse is "},
        {L"\u2212\u2212json" + folder, L"\u2212\u2212json is "},
        // The folder menu is changed one way at a time, and never with folders.
        {L"--install-shell-menu" + folder, L"--install-shell-menu takes no folder"},
        {L"--uninstall-shell-menu" + folder, L"--uninstall-shell-menu takes no folder"},
        {L"--install-shell-menu --uninstall-shell-menu", L"--install-shell-menu and --uninstall-shell-menu"},
    };
    for (const auto& [args, why] : cases) {
        SCOPED_TRACE(testutil::Narrow(args));
        PROCESS_RESULT r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2u) << r.out;
        EXPECT_EQ(r.err.find("mopwright-cli: " + testutil::Narrow(why)), 0u) << r.err;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
        EXPECT_EQ(testutil::SnapshotTree(t.root()), before);
    }
}

TEST(CliDryRun, ListsPlanWithSizesAndChangesNothing)
{
    TempTree t(L"cli");
    testutil::MakeCppSolution(t, L"", kReleaseBuild);
    std::string before = testutil::SnapshotTree(t.root());

    PROCESS_RESULT r = RunCli(L"--dry-run " + Quoted(t.root()));
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    EXPECT_EQ(testutil::SnapshotTree(t.root()), before);   // byte for byte
    EXPECT_EQ(testutil::TrashEntriesUnder(t.root()), 0u);

    std::string o = r.out;
    EXPECT_NE(o.find("Dry run: nothing is deleted."), std::string::npos);
    EXPECT_NE(o.find("Solution: App.sln"), std::string::npos);
    // The Debug folder is planned whole with the size of its contents.
    EXPECT_EQ(LineEndingWith(o, t.path(L"App\\Debug\\")), (Words{"main", "folder", "300"})) << o;
    EXPECT_EQ(LineEndingWith(o, t.path(L"App\\x64\\Release\\main.obj")), (Words{"main", "file", "1000"}));
    EXPECT_EQ(LineEndingWith(o, t.path(L"App\\x64\\Release\\App.tlog\\")), (Words{"main", "folder-tree", "50"}));
    EXPECT_EQ(LineEndingWith(o, t.path(L"x64\\Release\\App.ilk")), (Words{"main", "file", "700"}));
    EXPECT_EQ(LineEndingWith(o, t.path(L"x64\\Release\\")), (Words{"main", "folder-if-empty", "0"}));
    // The sweep's entry for the same folder is not a line of its own.
    EXPECT_EQ(LineEndingWith(o, t.path(L"x64\\Release")), Words{});
    EXPECT_EQ(LineEndingWith(o, t.path(L"x64")), Words{});
    // Release products and sources are not listed; the protected file is spared, not removed.
    EXPECT_EQ(o.find("App.exe"), std::string::npos);
    EXPECT_EQ(o.find("main.cpp"), std::string::npos);
    EXPECT_EQ(LineEndingWith(o, t.path(L"App\\x64\\Release\\keep.obj")), (Words{"keep", "file", "300"})) << o;
    // .suo only on request.
    EXPECT_EQ(o.find("App.suo"), std::string::npos);
    // main.obj 1000 + tlog folder 50 + App.ilk 700 + Debug 300 + .user 13 = 2063, in 9 items: each
    // of the four remove-if-empty folders once.
    EXPECT_NE(o.find("Would remove 9 items, 2063 bytes; spared 1 items, 300 bytes."), std::string::npos) << o;

    PROCESS_RESULT withSuo = RunCli(L"--dry-run --delete-suo " + Quoted(t.root()));
    EXPECT_NE(withSuo.out.find("App.suo"), std::string::npos);
    EXPECT_EQ(testutil::SnapshotTree(t.root()), before);
}

TEST(CliDryRun, JsonDocumentHasTheDocumentedShape)
{
    TempTree t(L"cli");
    testutil::MakeCppSolution(t, L"", kReleaseBuild);
    TempTree empty(L"cli");
    PROCESS_RESULT r = RunCli(L"--dry-run --json " + Quoted(t.root()) + L" " + Quoted(empty.root()));
    EXPECT_EQ(r.exitCode, 1u);   // the second folder has no solution
    const std::string& o = r.out;
    ASSERT_FALSE(o.empty());
    EXPECT_EQ(o.front(), '{');
    EXPECT_EQ(o.substr(o.find_last_not_of("\r\n")), "}\r\n");
    EXPECT_NE(o.find("\"mode\":\"dry-run\""), std::string::npos);
    EXPECT_NE(o.find("\"status\":\"planned\""), std::string::npos);
    EXPECT_NE(o.find("\"status\":\"no-solution\""), std::string::npos);
    // Backslashes are escaped in paths.
    std::string debug = testutil::Narrow(t.path(L"App\\Debug\\"));
    std::string escaped;
    for (char c : debug) escaped += (c == '\\') ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(o.find("{\"path\":\"" + escaped + "\",\"kind\":\"folder\",\"plan\":\"main\",\"bytes\":300}"),
              std::string::npos) << o;
    EXPECT_NE(o.find("\"spared\":[{\"path\":"), std::string::npos);
    EXPECT_NE(o.find("\"totals\":{\"items\":"), std::string::npos);
    EXPECT_NE(o.find("\"failed\":true}"), std::string::npos);
}

TEST(CliClean, CleansLikeTheWindowAndReportsReclaimedBytes)
{
    TempTree t(L"cli");
    testutil::MakeCppSolution(t, L"", kReleaseBuild);
    PROCESS_RESULT r = RunCli(Quoted(t.root()));
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;

    // Log lines in time order, then the totals line.
    std::string o = r.out;
    size_t started = o.find("Clean-up process has been started. Please wait ...");
    size_t success = o.find("Success! Cleaned up folder: \"" + testutil::Narrow(t.root()) + "\"");
    size_t finished = o.find("Finished clean-up process.");
    ASSERT_NE(started, std::string::npos) << o;
    ASSERT_NE(success, std::string::npos) << o;
    ASSERT_NE(finished, std::string::npos) << o;
    EXPECT_LT(started, success);
    EXPECT_LT(success, finished);
    EXPECT_NE(o.find("Reclaimed 2063 bytes, removed "), std::string::npos) << o;

    EXPECT_EQ(t.present({L"App/x64/Release/main.obj", L"App/Debug", L"App/App.vcxproj.user"}), Paths{});
    EXPECT_EQ(t.missing({L"App/x64/Release/keep.obj", L"x64/Release/App.exe", L"App/main.cpp", L"App.suo"}), Paths{});
    EXPECT_EQ(t.untrashed({L"App/x64/Release/main.obj", L"App/Debug"}), Paths{});
}

TEST(CliClean, FailingFolderGivesExitCodeOneAndJsonLog)
{
    TempTree t(L"cli");
    testutil::MakeCppSolution(t, L"", kReleaseBuild);
    PROCESS_RESULT r = RunCli(L"--json --delete-suo " + Quoted(t.path(L"missing")) + L" " + Quoted(t.root()));
    EXPECT_EQ(r.exitCode, 1u) << r.out;
    const std::string& o = r.out;
    EXPECT_NE(o.find("\"mode\":\"clean\""), std::string::npos);
    EXPECT_NE(o.find("ERROR: Cannot access folder: \\\""), std::string::npos) << o;
    EXPECT_NE(o.find("\"Finished clean-up process with errors:\""), std::string::npos);
    EXPECT_NE(o.find("\"failed\":true"), std::string::npos);
    // The second folder was still cleaned, .suo included.
    EXPECT_FALSE(t.exists(L"App.suo"));
    EXPECT_FALSE(t.exists(L"App/Debug"));
}

// Under Wine, Ctrl+C in a terminal reaches a console program as SIGINT, which
// Wine turns into the CTRL_C_EVENT that the program's handler receives.
TEST(CliClean, CtrlCStopsBetweenItemsWithTheAbortCode)
{
    TempTree t(L"cli-ctrlc");
    t.file(L"Big.sln");
    const int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i) t.file(L"logs/" + std::to_wstring(i % 30) + L"/f" + std::to_wstring(i) + L".log");

    // Once deletion has begun, press Ctrl+C.
    auto remaining = [&] { return t.listing().size(); };
    const size_t full = remaining();
    PROCESS_RESULT r = RunCli(Quoted(t.root()), [&] {
        for (int i = 0; i < 4000 && remaining() > full - 50; ++i) Sleep(5);
        testutil::RunLinux(L"/usr/bin/pkill -INT -f \"mopwright-cli.exe.*" + FileNamePartOf(t.root()) + L"\"");
    });
    const std::string& o = r.out;
    const DWORD code = r.exitCode;
    EXPECT_EQ(code, 1u) << o;
    EXPECT_NE(o.find("ERROR: (1235) Failed to clean up folder: \"" + testutil::Narrow(t.root()) +
                     "\". Some items could not be removed."),
              std::string::npos) << o;
    EXPECT_NE(o.find("Finished clean-up process with errors:"), std::string::npos);
    // Stopped part way: some log files went, the rest stayed.
    size_t left = remaining();
    EXPECT_LT(left, full);
    EXPECT_GT(left, 31u + 100u) << "the run was not stopped early";
    EXPECT_TRUE(t.exists(L"Big.sln"));
}

TEST(CliClean, TheProgressLineNamesItsSolutionOnOneConsoleLine)
{
    TempTree t(L"progress");
    const std::wstring names[] = {L"A", L"B"};
    for (const std::wstring& name : names) {
        t.file(name + L"/App.sln");
        for (int i = 0; i < 1500; ++i) t.file(name + L"/logs/" + std::to_wstring(i % 30) + L"/f" + std::to_wstring(i) + L".log");
    }
    const CONSOLE_WATCH watch = WatchConsole(Quoted(t.path(names[0])) + L" " + Quoted(t.path(names[1])));
    EXPECT_EQ(watch.exitCode, 0u);
    ASSERT_GT(watch.width, 0u);
    for (size_t k = 0; k < 2; ++k) {
        const std::wstring prefix = L"Solution " + std::to_wstring(k + 1) + L" of 2, ", folder = t.path(names[k]);
        size_t shown = 0;
        for (const std::wstring& row : watch.rows) {
            if (!row.starts_with(prefix)) continue;
            ++shown;
            SCOPED_TRACE(testutil::Narrow(row));
            EXPECT_LT(row.size(), watch.width);   // never wrapped onto a second line
            EXPECT_TRUE(row.ends_with(L" bytes"));
            // The solution folder whole, or its start and its end around "...".
            const size_t counts = row.rfind(L": ");
            ASSERT_NE(counts, std::wstring::npos);
            const std::wstring shownFolder = row.substr(prefix.size(), counts - prefix.size());
            const size_t dots = shownFolder.find(L"...");
            if (dots == std::wstring::npos) {
                EXPECT_EQ(shownFolder, folder);
                continue;
            }
            EXPECT_TRUE(folder.starts_with(shownFolder.substr(0, dots)));
            EXPECT_TRUE(folder.ends_with(shownFolder.substr(dots + 3)));
            EXPECT_TRUE(shownFolder.ends_with(L"\\" + names[k]));
        }
        EXPECT_GT(shown, 0u) << testutil::Narrow(prefix);
    }
}

// A folder name holding a surrogate of its own (NTFS takes one; Wine makes no
// such name on Z:, but a command line carries it): the JSON escapes it, so that
// the document is valid UTF-8 and reads back as the very name; the text output
// shows U+FFFD in its place.
TEST(CliJson, ANameWithALoneSurrogateStaysValidJson)
{
    TempTree t(L"cli");
    const std::wstring folder = t.path(L"App\xD800" L"x");
    const PROCESS_RESULT json = RunCli(L"--dry-run --json " + Quoted(folder));
    const PROCESS_RESULT text = RunCli(L"--dry-run " + Quoted(folder));
    EXPECT_EQ(json.exitCode, 1u);   // no such folder
    std::wstring name;
    ASSERT_TRUE(testutil::FirstJsonFolder(json.out, name)) << json.out;
    EXPECT_EQ(name, folder);
    EXPECT_NE(json.out.find("App\\ud800x\",\"status\":\"inaccessible\""), std::string::npos) << json.out;
    EXPECT_NE(text.out.find("Folder: " + testutil::Narrow(t.root()) + "\\App\xEF\xBF\xBDx\r\n"), std::string::npos)
        << text.out;
}
