// Undoing clean-ups from the console, on real trees and the real trash.
#include <gtest/gtest.h>

#include "cli/Json.h"
#include "engine/recycling/ShellDelete.h"
#include "engine/running/Executor.h"
#include "engine/undo/Restore.h"
#include "tests/TestUtil.h"

using testutil::PROCESS_RESULT;
using testutil::Quoted;
using testutil::RunCli;
using testutil::TempTree;

namespace {

// Built for Debug and Release, with a protected object file (its folder is
// taken apart around it) and empty folders that the clean-up removes.
const testutil::CPP_SOLUTION kBuilt{.protectedObj = true, .leftovers = true};

void Clean(const std::wstring& args)
{
    PROCESS_RESULT r = RunCli(args);
    ASSERT_EQ(r.exitCode, 0u) << r.out << r.err;
}

bool Has(const PROCESS_RESULT& r, const std::string& text) { return r.out.find(text) != std::string::npos; }

testutil::Paths Lines(const PROCESS_RESULT& r)
{
    testutil::Paths lines = testutil::SplitLines(testutil::Widen(r.out));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// Sends `rel` of `tree` to the Recycle Bin as someone else did, long ago.
void RecycleLongAgo(const TempTree& tree, const std::wstring& rel)
{
    ASSERT_EQ(ShellDeleteItem(tree.path(rel), kShellFlagsFolderTree, nullptr), 0u);
    ASSERT_TRUE(testutil::BackdateTrashEntry(tree.path(rel)));
}

} // namespace

// Write times of files must come back as they were (the objects themselves
// come back); folders' own write times change whenever an entry goes or comes.
TEST(CliRestore, BringsTheTreeBackAndASecondRestoreChangesNothing)
{
    TempTree t(L"restore");
    testutil::MakeCppSolution(t, L"", kBuilt);
    t.dir(L"App/obj/Debug");   // empty folders, removed outright
    const std::string before = testutil::SnapshotTree(t.root(), false);
    Clean(Quoted(t.root()));
    ASSERT_NE(testutil::SnapshotTree(t.root(), false), before);

    EXPECT_EQ(RunCli(L"--restore --recurse " + Quoted(t.root())).exitCode, 2u);
    const std::string cleaned = testutil::SnapshotTree(t.root(), false);
    PROCESS_RESULT dry = RunCli(L"--restore --dry-run " + Quoted(t.root()));
    EXPECT_EQ(dry.exitCode, 0u) << dry.out;
    EXPECT_TRUE(Has(dry, "Would restore: \"" + testutil::Narrow(t.path(L"App\\Debug")) + "\"")) << dry.out;
    EXPECT_EQ(testutil::SnapshotTree(t.root(), false), cleaned);

    PROCESS_RESULT r = RunCli(L"--restore " + Quoted(t.root()));
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    EXPECT_EQ(Lines(r), (testutil::Paths{L"Restored 8 items."}));
    EXPECT_EQ(testutil::SnapshotTree(t.root(), false), before);
    EXPECT_EQ(testutil::TrashEntriesUnder(t.root()), 0u);

    PROCESS_RESULT again = RunCli(L"--restore " + Quoted(t.root()));
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_EQ(Lines(again), (testutil::Paths{L"Nothing to restore for: \"" + t.root() + L"\"", L"Restored 0 items."}));
    EXPECT_EQ(testutil::SnapshotTree(t.root(), false), before);
}

TEST(CliRestore, AnItemWhosePlaceIsTakenOrThatDoesNotComeBackFails)
{
    TempTree t(L"taken");
    testutil::MakeCppSolution(t, L"");
    Clean(Quoted(t.root()));
    t.file(L"x64/Release/App.ilk", "built again");   // a build ran since
    PROCESS_RESULT r;
    {
        // Held open in the bin: the shell's restore cannot move it, whatever it answers.
        UniqueFile held = testutil::HoldFile(testutil::TrashedObjectOf(t.path(L"App\\App.vcxproj.user")));
        ASSERT_TRUE(held.valid());
        r = RunCli(L"--restore " + Quoted(t.root()));
    }
    EXPECT_EQ(r.exitCode, 1u) << r.out;
    EXPECT_TRUE(Has(r, "NOT RESTORED: (183) \"" + testutil::Narrow(t.path(L"x64\\Release\\App.ilk")) + "\".")) << r.out;
    EXPECT_EQ(testutil::SnapshotTree(t.path(L"x64/Release/App.ilk")), "");   // a file, not a folder
    EXPECT_TRUE(testutil::InTrash(t.path(L"x64\\Release\\App.ilk")));
    // The bin's own command answers for the whole request; a move answers for its item.
    const std::string held = testutil::UnderDouble() ? "(32)" : "(536871173)";
    EXPECT_TRUE(Has(r, "NOT RESTORED: " + held + " \"" + testutil::Narrow(t.path(L"App\\App.vcxproj.user")) + "\".")) << r.out;
    EXPECT_TRUE(t.missing({L"App/x64/Debug/main.obj", L"App/x64/Debug/App.tlog/CL.read.1.tlog"}).empty());

    // The journal keeps only what failed: the held file comes back now, the taken place fails again.
    PROCESS_RESULT json = RunCli(L"--restore --json " + Quoted(t.root()));
    EXPECT_EQ(json.exitCode, 1u);
    EXPECT_TRUE(Has(json, "{\"mode\":\"restore\",\"dryRun\":false,\"folders\":[{\"folder\":")) << json.out;
    EXPECT_TRUE(Has(json, "\"restored\":1,\"items\":[" + testutil::Narrow(JsonString(t.path(L"App\\App.vcxproj.user"))) +
                              "],\"failures\":[{\"path\":")) << json.out;
    EXPECT_TRUE(Has(json, "\"error\":183,") && Has(json, "\"restoredItems\":1,\"failed\":true}")) << json.out;
}

TEST(CliRestore, TouchesOnlyWhatThatCleanupPutInTheBin)
{
    TempTree t(L"own");
    testutil::MakeSmallSolution(t, L"A", {L"Debug/old.obj"});
    RecycleLongAgo(t, L"A/Debug");   // the same place, someone else's
    t.file(L"A/Debug/main.obj", "built");
    testutil::MakeSmallSolution(t, L"B");
    Clean(Quoted(t.path(L"A")) + L" " + Quoted(t.path(L"B")));

    PROCESS_RESULT r = RunCli(L"--restore " + Quoted(t.path(L"A")));
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(t.listing(), (testutil::Paths{L"A\\", L"A\\App.sln", L"A\\Debug\\", L"A\\Debug\\main.obj", L"A\\main.cpp",
                                            L"B\\", L"B\\App.sln", L"B\\main.cpp"}));
    EXPECT_TRUE(testutil::InTrash(t.path(L"A\\Debug")));   // the old one
    EXPECT_TRUE(testutil::InTrash(t.path(L"B\\Debug")));
}

// The self-test a user runs on the system in question: on a drive whose bin
// takes items it passes, and on every path it leaves nothing behind.
TEST(CliCheck, PassesWhereTheBinTakesItemsAndLeavesNothingBehind)
{
    TempTree t(L"check");
    const size_t trashedBefore = testutil::TrashEntriesUnder(t.root());
    PROCESS_RESULT r = RunCli(L"--check " + Quoted(t.root()));
    const testutil::Paths lines = Lines(r);
    ASSERT_FALSE(lines.empty()) << r.err;
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(lines.back(), L"check passed") << r.out;
    EXPECT_EQ(lines[1], std::wstring(L"deletes through: ") + (testutil::UnderDouble() ? L"IFileOperation" : L"SHFileOperation"));
    EXPECT_EQ(lines[2], L"Recycle Bin on \"Z:\\\": on");
    EXPECT_TRUE(Has(r, "and it holds every one.")) << r.out;
    EXPECT_TRUE(Has(r, "the tree is as it was.")) << r.out;
    // Its folder, its journal and its items in the bin are gone again.
    EXPECT_EQ(t.listing(), testutil::Paths{});
    EXPECT_EQ(testutil::TrashEntriesUnder(t.root()), trashedBefore);

    EXPECT_EQ(RunCli(L"--check " + Quoted(t.root()) + L" " + Quoted(t.root())).exitCode, 2u);
    EXPECT_EQ(RunCli(L"--check --dry-run " + Quoted(t.root())).exitCode, 2u);
    r = RunCli(L"--check " + Quoted(t.path(L"none")));
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(Lines(r).back(), L"check failed: \"" + t.path(L"none") + L"\" is not a folder") << r.out;
}

// What hostile users of the restore found: someone else's item from the same
// place deleted in the same minute is never taken for the clean-up's; a
// second restore of a folder while one runs refuses; a journal that is a link
// is replaced, never written through.
TEST(CliRestore, NeverTakesAnotherItemNeverRunsTwiceNeverWritesThroughALink)
{
    TempTree t(L"hostile");
    testutil::MakeSmallSolution(t, L"S", {L"App.log"});
    Clean(Quoted(t.path(L"S")));
    // The clean-up's own item leaves the bin; another file of that name and
    // place, of another size, is deleted the same minute.
    const std::wstring ours = testutil::TrashedObjectOf(t.path(L"S\\App.log"));
    ASSERT_NE(ours, L"");
    const std::wstring record = testutil::TrashInfoFileOf(t.path(L"S\\App.log"));
    ASSERT_TRUE(DeleteFileW(ours.c_str()) && DeleteFileW(record.c_str()));
    t.file(L"S/App.log", std::string(5000, 'x'));
    ASSERT_EQ(ShellDeleteItem(t.path(L"S\\App.log"), kShellFlagsFile, nullptr), 0u);
    PROCESS_RESULT r = RunCli(L"--restore " + Quoted(t.path(L"S")));
    EXPECT_EQ(r.exitCode, 1u) << r.out;
    EXPECT_TRUE(Has(r, "NOT RESTORED: (2) \"" + testutil::Narrow(t.path(L"S\\App.log")) + "\".")) << r.out;
    EXPECT_FALSE(t.exists(L"S/App.log"));
    EXPECT_TRUE(testutil::InTrash(t.path(L"S\\App.log")));

    // While one restore holds the folder, another refuses and changes nothing.
    t.file(L"S/Debug/main.obj", "o");
    Clean(Quoted(t.path(L"S")));
    {
        const UniqueKernel held(CreateMutexW(nullptr, TRUE, RestoreLockName(t.path(L"S")).c_str()));
        ASSERT_TRUE(held.valid());
        r = RunCli(L"--restore " + Quoted(t.path(L"S")));
        EXPECT_EQ(r.exitCode, 1u);
        EXPECT_TRUE(Has(r, "NOT RESTORED: (536871178) \"" + testutil::Narrow(t.path(L"S")) + "\".")) << r.out;
        EXPECT_FALSE(t.exists(L"S/Debug"));
    }
    // The folder given twice: one restore, no false failure.
    r = RunCli(L"--restore " + Quoted(t.path(L"S")) + L" " + Quoted(t.path(L"S") + L"\\\\"));
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(Lines(r), (testutil::Paths{L"Restored 1 items."}));
    EXPECT_TRUE(t.exists(L"S/Debug/main.obj"));

    // A journal that someone made a link to another file: the next clean-up
    // replaces the link, and the file it pointed to stays as it was.
    t.file(L"victim.txt", "precious");
    const std::wstring journal = CleanupJournalPath(t.path(L"S"));
    DeleteFileW(journal.c_str());
    ASSERT_TRUE(testutil::RunLinux(L"/bin/ln -s \"" + testutil::LinuxPath(t.path(L"victim.txt")) + L"\" \"" +
                                       testutil::LinuxPath(journal) + L"\"",
                                   [&] { return GetFileAttributesW(journal.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    Clean(Quoted(t.path(L"S")));
    WIN32_FILE_ATTRIBUTE_DATA victim{};
    ASSERT_TRUE(GetFileAttributesExW(t.path(L"victim.txt").c_str(), GetFileExInfoStandard, &victim));
    EXPECT_EQ(victim.nFileSizeLow, 8u);   // "precious", untouched
    EXPECT_EQ(JournaledItemCount(t.path(L"S")), 1u);
}
