// The console program in a repository made by the real git: what it says it
// keeps, what --include-tracked removes, and an index it cannot read.
#include <gtest/gtest.h>

#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "tests/TestUtil.h"

using testutil::Narrow;
using testutil::PROCESS_RESULT;
using testutil::Quoted;
using testutil::RunCli;
using testutil::TempTree;

namespace {

// R, a repository whose solution Sol has a committed DLL in Debug and a
// committed log, beside untracked build output and a do-not-delete file.
void MakeRepository(const TempTree& t)
{
    t.file(L"R/.gitignore", "Debug/\n*.log\n");
    t.file(L"R/Sol/App.sln", "solution");
    t.file(L"R/Sol/main.cpp", "int main() {}");
    t.file(L"R/Sol/Debug/vendor.dll", std::string(40, 'v'));
    t.file(L"R/Sol/CHANGES.log", std::string(7, 'c'));
    const testutil::SHELL_RESULT made = testutil::RunShell(
        t.path(L"R"), "git init -q\ngit add .gitignore Sol\ngit add -f Sol/Debug/vendor.dll Sol/CHANGES.log\n"
                      "git commit -qm base\n");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    t.file(L"R/Sol/Debug/a.obj", std::string(100, 'o'));
    t.file(L"R/Sol/keep.log", std::string(5, 'k'));
    t.file(L"R/Sol/Mopwright (do not delete).txt", "keep.log\r\n");
}

// The deletions git sees ("XY path" lines of its short status).
std::string GitDeletions(const TempTree& t)
{
    const testutil::SHELL_RESULT status = testutil::RunShell(t.path(L"R"), "git status --porcelain | grep -E '^(D.|.D) ' || true\n");
    EXPECT_EQ(status.exitCode, 0) << status.output;
    return status.output;
}

std::string JsonPath(const std::wstring& path)
{
    std::string escaped;
    for (char c : Narrow(path)) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "\"" + escaped + "\"";
}

// The words before `path` on the line that ends with it.
std::vector<std::wstring> WordsBefore(const std::string& text, const std::wstring& path)
{
    for (const std::wstring& line : testutil::SplitLines(testutil::Widen(text)))
        if (line.ends_with(path)) return SplitTokens(line.substr(0, line.size() - path.size()), L" ");
    return {};
}

} // namespace

TEST(CliGit, TrackedFilesAreSparedShownAndKeptUnlessIncludeTrackedIsGiven)
{
    TempTree t(L"cligit");
    MakeRepository(t);
    const std::wstring sol = t.path(L"R/Sol");
    const std::wstring vendor = t.path(L"R/Sol/Debug/vendor.dll"), changes = t.path(L"R/Sol/CHANGES.log");

    // Dry run: both kinds of spared items, each with its reason.
    PROCESS_RESULT json = RunCli(L"--dry-run --json " + Quoted(sol));
    EXPECT_EQ(json.exitCode, 0u) << json.out << json.err;
    EXPECT_NE(json.out.find("{\"path\":" + JsonPath(vendor) + ",\"kind\":\"file\",\"bytes\":40,\"reason\":\"tracked\"}"),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"path\":" + JsonPath(t.path(L"R/Sol/keep.log")) +
                            ",\"kind\":\"file\",\"bytes\":5,\"reason\":\"do-not-delete\"}"),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unreadableIndex\":\"\""), std::string::npos);
    PROCESS_RESULT text = RunCli(L"--dry-run " + Quoted(sol));
    EXPECT_EQ(WordsBefore(text.out, changes), (std::vector<std::wstring>{L"keep", L"file", L"(tracked)", L"7"})) << text.out;
    EXPECT_EQ(WordsBefore(text.out, t.path(L"R/Sol/keep.log")), (std::vector<std::wstring>{L"keep", L"file", L"5"}));

    // A clean-up: the log says what git's index kept, once; git misses nothing.
    PROCESS_RESULT clean = RunCli(Quoted(sol));
    EXPECT_EQ(clean.exitCode, 0u) << clean.out << clean.err;
    const std::string kept = "Kept 2 files that git tracks.";
    EXPECT_NE(clean.out.find(kept), std::string::npos) << clean.out;
    EXPECT_EQ(clean.out.find(kept), clean.out.rfind(kept));
    EXPECT_FALSE(t.exists(L"R/Sol/Debug/a.obj"));
    EXPECT_TRUE(t.exists(L"R/Sol/Debug/vendor.dll") && t.exists(L"R/Sol/CHANGES.log"));
    EXPECT_EQ(GitDeletions(t), "");

    // --include-tracked cleans as if there were no repository; the do-not-delete file still counts.
    PROCESS_RESULT all = RunCli(L"--include-tracked " + Quoted(sol));
    EXPECT_EQ(all.exitCode, 0u) << all.out << all.err;
    EXPECT_EQ(all.out.find("git tracks"), std::string::npos) << all.out;
    EXPECT_TRUE(testutil::InTrash(t.path(L"R/Sol/Debug")));
    EXPECT_TRUE(testutil::InTrash(changes));
    EXPECT_TRUE(t.exists(L"R/Sol/keep.log"));
    EXPECT_EQ(GitDeletions(t), " D Sol/CHANGES.log\n D Sol/Debug/vendor.dll\n");

    // The option belongs to clean-ups and dry runs alone.
    for (const std::wstring& args : {L"--restore --include-tracked " + Quoted(sol), L"--check " + Quoted(sol) + L" --include-tracked"}) {
        PROCESS_RESULT wrong = RunCli(args);
        EXPECT_EQ(wrong.exitCode, 2u) << Narrow(args);
    }
    EXPECT_NE(RunCli(L"--help").out.find("--include-tracked"), std::string::npos);
}

TEST(CliGit, AnUnreadableIndexIsNamedAndLeavesTheFolderAsItIs)
{
    TempTree t(L"cligit");
    MakeRepository(t);
    const std::wstring index = t.path(L"R/.git/index");
    std::string bytes = testutil::ReadBytes(index);
    ASSERT_GT(bytes.size(), 100u);
    bytes.resize(bytes.size() - 30);   // cut off
    ASSERT_TRUE(testutil::WriteBytes(index, bytes));
    const std::string before = testutil::SnapshotTree(t.root());

    PROCESS_RESULT json = RunCli(L"--dry-run --json " + Quoted(t.path(L"R/Sol")));
    EXPECT_EQ(json.exitCode, 1u);
    EXPECT_NE(json.out.find("\"status\":\"planning-failed\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"error\":" + std::to_string(kErrorUnreadableGitIndex)), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unreadableIndex\":" + JsonPath(index)), std::string::npos) << json.out;

    PROCESS_RESULT clean = RunCli(Quoted(t.path(L"R/Sol")));
    EXPECT_EQ(clean.exitCode, 1u);
    EXPECT_NE(clean.out.find("ERROR: (" + std::to_string(kErrorGitIndexCutOff) + ") Cannot read git index: \"" +
                             Narrow(index) + "\""),
              std::string::npos) << clean.out;
    EXPECT_EQ(testutil::SnapshotTree(t.root()), before);

    // Without the check nothing is read, and the folder is cleaned.
    PROCESS_RESULT all = RunCli(L"--include-tracked " + Quoted(t.path(L"R/Sol")));
    EXPECT_EQ(all.exitCode, 0u) << all.out;
    EXPECT_FALSE(t.exists(L"R/Sol/Debug"));
}
