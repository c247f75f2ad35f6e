#include <gtest/gtest.h>

#include <algorithm>

#include "engine/records/Beep.h"
#include "engine/running/CleanupRun.h"
#include "support/ErrorText.h"
#include "engine/planning/KeepListReader.h"
#include "support/PathUtil.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::FakeHost;
using testutil::InTrash;
using testutil::MakeCppSolution;
using testutil::TempTree;

namespace {

using Lines = std::vector<std::wstring>;

std::vector<UINT> g_beeps;
void RecordBeep(UINT type) { g_beeps.push_back(type); }

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_beeps.clear();
        m_previousHook = SetEngineBeepHook(&RecordBeep);
    }
    void TearDown() override { SetEngineBeepHook(m_previousHook); }

    // Runs over `folders`, on top of an earlier log line.
    static void Run(FakeHost& host, const Lines& folders) { host.Run(folders); }

private:
    BeepHook m_previousHook = nullptr;
};

const std::wstring kStarted = L"Clean-up process has been started. Please wait ...";
const std::wstring kFinished = L"Finished clean-up process.";
const std::wstring kFinishedWithErrors = L"Finished clean-up process with errors:";

std::wstring Success(const std::wstring& folder) { return L"Success! Cleaned up folder: \"" + folder + L"\""; }
std::wstring NoAccess(const std::wstring& folder) { return L"ERROR: Cannot access folder: \"" + folder + L"\""; }
std::wstring NoSolution(const std::wstring& folder)
{
    return L"ERROR: The folder contains no recognized Visual Studio solution: \"" + folder + L"\"";
}
std::wstring PlanFailed(DWORD code, const std::wstring& folder)
{
    return FormatText(L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied. %ls",
                      static_cast<int>(code), folder.c_str(), GetErrorText(code).c_str());
}
std::wstring DeleteFailed(DWORD code, const std::wstring& folder)
{
    return FormatText(L"ERROR: (%d) Failed to clean up folder: \"%ls\". Some items could not be removed. %ls",
                      static_cast<int>(code), folder.c_str(), GetErrorText(code).c_str());
}

} // namespace

TEST_F(RunTest, EmptyQueueStillRunsEveryStep)
{
    FakeHost host;
    Run(host, {});

    EXPECT_EQ(host.events, (Lines{L"started", L"ended"}));
    EXPECT_EQ(host.LogLines(), (Lines{kFinished, kStarted, L" ", L"earlier"}));
    EXPECT_TRUE(g_beeps.empty());
}

TEST_F(RunTest, OneSolutionFolderIsCleanedAndTheRunEndsWithoutErrors)
{
    TempTree t(L"one");
    MakeCppSolution(t, L"");
    t.file(L"App.slnx");   // the folder is cleaned once, on behalf of App.sln
    FakeHost host;
    Run(host, {t.root()});

    EXPECT_EQ(host.LogLines(), (Lines{kFinished, Success(t.root()), t.root(), kStarted, L" ", L"earlier"}));
    EXPECT_TRUE(g_beeps.empty());
    EXPECT_TRUE(host.EndedWithoutErrors());
    EXPECT_TRUE(host.folders.empty());
    EXPECT_EQ(t.listing(), (Lines{L"App.sln", L"App.slnx", L"App\\", L"App\\App.vcxproj", L"App\\main.cpp", L"x64\\",
                                  L"x64\\Release\\", L"x64\\Release\\App.exe", L"x64\\Release\\App.pdb"}));
    EXPECT_EQ(t.untrashed({L"App/x64/Debug", L"App/App.vcxproj.user", L"x64/Release/App.ilk", L"x64/Release/App.obj"}),
              Lines{});
    // The folder's deletion starts at 0 and counts every item up to the total.
    EXPECT_EQ(host.events, (Lines{L"started", L"progress 0/" + std::to_wstring(host.total), L"ended"}));
    ASSERT_FALSE(host.itemsDone.empty());
    EXPECT_EQ(host.itemsDone.back(), host.total);
    EXPECT_TRUE(std::is_sorted(host.itemsDone.begin(), host.itemsDone.end()));
}

TEST_F(RunTest, FoldersThatCannotBeCleanedAreReportedAndBeepOnceEach)
{
    TempTree t(L"bad");
    t.files({L"afile.txt", L"nosln/App.vcxproj",
             L"nosln/sub/App.sln",   // one level too deep
             L"nosln/x64/Debug/a.obj"});
    const Lines folders{t.path(L"missing"), t.path(L"afile.txt"), t.path(L"nosln")};
    FakeHost host;
    Run(host, folders);

    EXPECT_EQ(host.LogLines(), (Lines{kFinishedWithErrors, NoSolution(folders[2]), NoAccess(folders[1]),
                                      NoAccess(folders[0]), kStarted, L" ", L"earlier"}));
    EXPECT_EQ(g_beeps, (std::vector<UINT>{MB_ICONHAND, MB_ICONHAND, MB_ICONHAND}));
    EXPECT_EQ(host.events.back(), L"ended with errors");
    EXPECT_TRUE(host.folders.empty());
    EXPECT_TRUE(t.exists(L"nosln/x64/Debug/a.obj"));
}

TEST_F(RunTest, FirstFolderFailsSecondSucceedsSameFolderTwice)
{
    TempTree t(L"two");
    MakeCppSolution(t, L"good");
    const std::wstring good = t.path(L"good");
    const std::wstring missing = t.path(L"gone");
    FakeHost host;
    Run(host, {missing, good, good});

    EXPECT_EQ(host.LogLines(), (Lines{kFinishedWithErrors, Success(good), good, Success(good), good,
                                      NoAccess(missing), kStarted, L" ", L"earlier"}));
    EXPECT_EQ(g_beeps.size(), 1u);
    EXPECT_FALSE(host.EndedWithoutErrors());
    EXPECT_FALSE(t.exists(L"good/App/x64"));
}

TEST_F(RunTest, FailureLinesSayWhetherAnythingWasTouched)
{
    TempTree t(L"lines");
    // Planning fails (a solution file named only ".sln": no base name): nothing touched.
    t.files({L"noname/.sln", L"noname/Debug/a.obj"});
    // Deletion fails for one locked file: the rest of the folder is cleaned.
    MakeCppSolution(t, L"locked");
    UniqueFile lock = testutil::HoldFile(t.path(L"locked/x64/Release/App.ilk"));
    ASSERT_TRUE(lock);

    // Planning stops at a folder that cannot be listed, and says which.
    t.files({L"unseen/App.sln", L"unseen/Debug/a.obj"});
    t.dir(L"unseen/src");
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"unseen/src/star*")));

    FakeHost host;
    const std::wstring noname = t.path(L"noname");
    const std::wstring locked = t.path(L"locked");
    const std::wstring unseen = t.path(L"unseen");
    Run(host, {noname, locked, unseen});
    lock.reset();

    EXPECT_EQ(host.LogLines(),
              (Lines{kFinishedWithErrors, PlanFailed(ERROR_INVALID_NAME, unseen),
                     FormatText(L"ERROR: (123) Cannot list folder: \"%ls\". %ls", t.path(L"unseen\\src\\star*").c_str(),
                                GetErrorText(ERROR_INVALID_NAME).c_str()),
                     unseen, DeleteFailed(ERROR_SHARING_VIOLATION, locked), locked,
                     PlanFailed(ERROR_INVALID_BLOCK, noname), noname, kStarted, L" ", L"earlier"}));
    EXPECT_EQ(g_beeps.size(), 3u);
    EXPECT_TRUE(t.exists(L"unseen/Debug/a.obj"));
    EXPECT_EQ(t.missing({L"noname/Debug/a.obj", L"locked/x64/Release/App.ilk"}), Lines{});
    EXPECT_EQ(t.present({L"locked/x64/Release/App.obj", L"locked/App/x64"}), Lines{});
}

TEST_F(RunTest, RelativeSolutionPathDeletesNothing)
{
    TempTree t(L"rel");
    MakeCppSolution(t, L"Sol");
    const Lines before = t.listing();
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(t.root().c_str()));

    FakeHost host;
    Run(host, {L"Sol"});
    ::SetCurrentDirectoryW(saved);

    EXPECT_EQ(host.LogLines(), (Lines{kFinishedWithErrors, PlanFailed(8208, L"Sol"), L"Sol", kStarted, L" ",
                                      L"earlier"}));
    EXPECT_EQ(t.listing(), before);
    EXPECT_EQ(g_beeps.size(), 1u);
}

TEST_F(RunTest, CloseRequestStopsEveryRemainingFolderWith1235)
{
    TempTree t(L"abort");
    MakeCppSolution(t, L"A");
    MakeCppSolution(t, L"B");
    const std::wstring a = t.path(L"A"), b = t.path(L"B");
    FakeHost host;
    host.stopAfterItems = 1;
    Run(host, {a, b});

    EXPECT_EQ(host.LogLines(), (Lines{kFinishedWithErrors, PlanFailed(ERROR_REQUEST_ABORTED, b), b,
                                      DeleteFailed(ERROR_REQUEST_ABORTED, a), a, kStarted, L" ", L"earlier"}));
    EXPECT_FALSE(host.EndedWithoutErrors());
    EXPECT_EQ(g_beeps.size(), 2u);
    // Folder B stopped after its first item; its files are all still there.
    EXPECT_TRUE(t.exists(L"B/x64/Release/App.obj"));
    EXPECT_TRUE(t.exists(L"B/App/x64/Debug/main.obj"));
    FakeHost next;
    Run(next, {b});
    EXPECT_EQ(next.LogLines()[1], Success(b));
}

TEST_F(RunTest, QueueReadAgainBeforeEachFolder)
{
    TempTree t(L"grow");
    MakeCppSolution(t, L"A");
    MakeCppSolution(t, L"B");
    t.files({L"A/A.suo", L"B/B.suo"});
    FakeHost host;
    host.deleteSuo = true;
    // A folder queued while the first one is being cleaned joins this run.
    host.onItem = [&](size_t n) {
        if (n == 1) host.folders.push_back(t.path(L"B"));
    };
    Run(host, {t.path(L"A")});

    EXPECT_EQ(host.LogLines()[1], Success(t.path(L"B")));
    EXPECT_EQ(host.LogLines()[3], Success(t.path(L"A")));
    EXPECT_FALSE(t.exists(L"A/A.suo"));
    EXPECT_FALSE(t.exists(L"B/B.suo"));
    EXPECT_TRUE(host.folders.empty());
}

TEST_F(RunTest, RealisticCppAndDotNetTrees)
{
    TempTree t(L"real");
    // C++: build output in x64\Release and the project's x64\Debug, ipch, .vs.
    MakeCppSolution(t, L"Cpp");
    t.files({L"Cpp/Project/Project.vcxproj", L"Cpp/Project/x64/Debug/Project.tlog/link.read.1.tlog",
             L"Cpp/Project/x64/Debug/Project.obj", L"Cpp/ipch/AutoPCH/abc/x.ipch", L"Cpp/.vs/App/v17/.suo",
             L"Cpp/.vs/App/v17/Browse.VC.db", L"Cpp/.vs/App/v17/ipch/AutoPCH/y.ipch", L"Cpp/App/App.aps",
             L"Cpp/App/Resource.rc"});
    // .NET: obj and bin\Debug / bin\Release per project, with a do-not-delete file.
    t.files({L"Net/Web.sln", L"Net/.vs/Web/v17/.suo", L"Net/Web/Web.csproj", L"Net/Web/Program.cs",
             L"Net/Web/obj/project.assets.json", L"Net/Web/obj/Debug/net8.0/Web.dll",
             L"Net/Web/bin/Debug/net8.0/Web.dll", L"Net/Web/bin/Release/net8.0/Web.dll",
             L"Net/Web/bin/Release/net8.0/Web.deps.json", L"Net/Web/bin/Release/net8.0/appsettings.json"});
    t.file(std::wstring(L"Net/Web/") + kDoNotDeleteFileName, "obj\\project.assets.json\r\n");

    // Beside the solution folders: never touched.
    t.files({L"Other/x64/Debug/a.obj", L"Other/build.log"});

    // Option off: ".suo" files and the folders that hold them stay.
    FakeHost host;
    Run(host, {t.path(L"Cpp"), t.path(L"Net")});
    EXPECT_EQ(host.LogLines()[0], kFinished) << testutil::Narrow(host.logText);
    EXPECT_TRUE(g_beeps.empty());

    EXPECT_EQ(t.missing({L"Cpp/.vs/App/v17/.suo", L"Cpp/App/Resource.rc", L"Cpp/x64/Release/App.exe",
                         L"Cpp/x64/Release/App.pdb"}), Lines{});
    EXPECT_EQ(t.present({L"Cpp/.vs/App/v17/Browse.VC.db", L"Cpp/.vs/App/v17/ipch", L"Cpp/ipch", L"Cpp/Project/x64",
                         L"Cpp/App/App.aps", L"Cpp/x64/Release/App.obj"}), Lines{});
    EXPECT_TRUE(InTrash(t.path(L"Cpp/ipch")));

    // obj is taken apart around the file that the do-not-delete file names.
    EXPECT_EQ(t.missing({L"Net/Web/obj/project.assets.json", L"Net/Web/Program.cs",
                         L"Net/Web/bin/Release/net8.0/Web.dll", L"Net/.vs/Web/v17/.suo"}), Lines{});
    EXPECT_EQ(t.present({L"Net/Web/obj/Debug", L"Net/Web/bin/Debug"}), Lines{});
    EXPECT_TRUE(InTrash(t.path(L"Net/Web/obj/Debug/net8.0/Web.dll")));

    // Option on: the hidden .vs folders go whole.
    FakeHost again;
    again.deleteSuo = true;
    Run(again, {t.path(L"Cpp"), t.path(L"Net")});
    EXPECT_EQ(again.LogLines()[0], kFinished);
    EXPECT_EQ(t.present({L"Cpp/.vs", L"Net/.vs"}), Lines{});
    EXPECT_TRUE(InTrash(t.path(L"Net/.vs")));
    EXPECT_EQ(t.missing({L"Net/Web/obj/project.assets.json", L"Cpp/App/main.cpp", L"Other/x64/Debug/a.obj",
                         L"Other/build.log"}), Lines{});
}
