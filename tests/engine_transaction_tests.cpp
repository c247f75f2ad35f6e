#include <gtest/gtest.h>

#include <algorithm>

#include "engine/running/Executor.h"
#include "engine/planning/KeepListReader.h"
#include "engine/running/Transaction.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::FakeHost;
using testutil::InTrash;
using testutil::TempTree;

namespace {

using Listing = std::vector<std::wstring>;

class TransactionTest : public ::testing::Test {};

bool Contains(const Listing& listing, const std::wstring& entry)
{
    return std::find(listing.begin(), listing.end(), entry) != listing.end();
}

} // namespace

TEST_F(TransactionTest, AncestorSweepOrderAndFinalState)
{
    // The solution folder S with S\x64\Release\a.obj and b.ilk.
    TempTree t(L"sweep");
    t.files({L"App.sln", L"x64/Release/a.obj", L"x64/Release/b.ilk"});
    const std::wstring s = t.root();

    CLEANUP_PLAN plan;
    ASSERT_TRUE(BuildCleanupPlan(L"App", FALSE, s, plan));
    EXPECT_TRUE(plan.vsPlan.empty());
    ASSERT_EQ(plan.mainPlan.size(), 6u);
    // The collector's four items, then the sweep's two, each once, in the order found.
    EXPECT_EQ(plan.mainPlan[4].strPath, s + L"\\x64");
    EXPECT_EQ(plan.mainPlan[5].strPath, s + L"\\x64\\Release");
    EXPECT_EQ(plan.mainPlan[4].nType, DEL_TYPE_EMPTY_FOLDER);
    EXPECT_EQ(plan.mainPlan[5].nType, DEL_TYPE_EMPTY_FOLDER);
    int files = 0;
    for (size_t i = 0; i < 4; ++i) files += plan.mainPlan[i].nType == DEL_TYPE_FILE;
    EXPECT_EQ(files, 2);

    // Pass two runs last to first: what stands after each item.
    FakeHost host;
    std::vector<Listing> after;
    host.onItem = [&](size_t) { after.push_back(t.listing()); };
    CleanupFailure failure = CleanupFailure::Planning;
    ASSERT_TRUE(CleanSolutionFolder(L"App", FALSE, s, &host, &failure));
    EXPECT_EQ(failure, CleanupFailure::None);
    ASSERT_EQ(after.size(), 6u);

    const Listing full{L"App.sln", L"x64\\", L"x64\\Release\\", L"x64\\Release\\a.obj", L"x64\\Release\\b.ilk"};
    EXPECT_EQ(after[0], full) << "x64\\Release still holds something";
    EXPECT_EQ(after[1], full) << "x64 still holds something";
    // The two files go in reverse plan order.
    const std::wstring firstFile = plan.mainPlan[3].strPath.substr(s.size() + 1);
    const std::wstring secondFile = plan.mainPlan[2].strPath.substr(s.size() + 1);
    EXPECT_FALSE(Contains(after[2], firstFile));
    EXPECT_TRUE(Contains(after[2], secondFile));
    EXPECT_EQ(after[3], (Listing{L"App.sln", L"x64\\", L"x64\\Release\\"}));
    EXPECT_EQ(after[4], (Listing{L"App.sln", L"x64\\"}));
    EXPECT_EQ(after[5], (Listing{L"App.sln"}));
    EXPECT_EQ(t.untrashed({L"x64/Release/a.obj", L"x64/Release/b.ilk"}), Listing{});
    EXPECT_FALSE(InTrash(t.path(L"x64"))) << "emptied folders are removed, not recycled";

    // Progress started at 0 of 6 before anything was deleted.
    EXPECT_EQ(host.events, (Listing{L"progress 0/6"}));
    EXPECT_EQ(host.itemsDone, (std::vector<UINT>{1, 2, 3, 4, 5, 6}));
}

TEST_F(TransactionTest, SweepNeverAddsTheSolutionFolderOrOtherNames)
{
    TempTree t(L"names");
    // The solution folder is itself named Release.
    t.files({L"Release/App.sln", L"Release/Debug/x.obj", L"Release/ARM64/y.log", L"Release/src/x64/z.tlog"});

    CLEANUP_PLAN plan;
    const std::wstring s = t.path(L"Release");
    ASSERT_TRUE(BuildCleanupPlan(L"App", FALSE, s + L"\\", plan));
    std::vector<std::wstring> swept;
    for (const ITEM_2_DELETE& item : plan.mainPlan) {
        EXPECT_NE(item.strPath, s);
        EXPECT_NE(item.strPath, s + L"\\");
        if (item.nType == DEL_TYPE_EMPTY_FOLDER && item.strPath.back() != L'\\') swept.push_back(item.strPath);
    }
    // Debug adds nothing; the planned ARM64 and x64 folders add themselves.
    std::sort(swept.begin(), swept.end());
    EXPECT_EQ(swept, (Listing{s + L"\\ARM64", s + L"\\src\\x64"}));
}

TEST_F(TransactionTest, EmptyPlansTouchNothingButStillResetTheBar)
{
    TempTree t(L"empty");
    t.files({L"App.sln", L"src/main.cpp"});
    FakeHost host;
    CleanupFailure failure = CleanupFailure::Planning;
    EXPECT_TRUE(CleanSolutionFolder(L"App", TRUE, t.root(), &host, &failure));
    EXPECT_EQ(failure, CleanupFailure::None);
    EXPECT_EQ(t.listing(), (Listing{L"App.sln", L"src\\", L"src\\main.cpp"}));
    EXPECT_EQ(host.events, (Listing{L"progress 0/0"}));
    EXPECT_TRUE(host.itemsDone.empty());
}

TEST_F(TransactionTest, PlanningFailureTouchesNothing)
{
    TempTree t(L"planfail");
    t.files({L".sln", L"x64/Debug/a.obj"});
    const Listing before = t.listing();
    FakeHost host;
    CleanupFailure failure = CleanupFailure::None;
    ::SetLastError(0);
    EXPECT_FALSE(CleanSolutionFolder(L"", FALSE, t.root(), &host, &failure));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_BLOCK));
    EXPECT_EQ(failure, CleanupFailure::Planning);
    EXPECT_EQ(t.listing(), before);
    EXPECT_TRUE(host.events.empty()) << "no progress when nothing is deleted";

    // A sub-folder that cannot be listed stops the planning as well.
    t.file(L"App.sln");
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"x64/star*")));
    const Listing withOdd = t.listing();
    EXPECT_FALSE(CleanSolutionFolder(L"App", FALSE, t.root(), nullptr, &failure));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(failure, CleanupFailure::Planning);
    EXPECT_EQ(t.listing(), withOdd);
}

TEST_F(TransactionTest, FolderPlannedByBothPassesDoesNotFailTheSolution)
{
    // .vs\App\v17\ipch is planned whole by the .vs rule and again by the main
    // walk; with a do-not-delete file anywhere, pass two must not fail on it.
    TempTree t(L"twice");
    t.files({L"App.sln", L".vs/App/v17/ipch/AutoPCH/x.ipch", L".vs/App/v17/.suo", L"Docs/notes.log"});
    t.file(kDoNotDeleteFileName, "Docs\\notes.log\r\n");

    CLEANUP_PLAN plan;
    ASSERT_TRUE(BuildCleanupPlan(L"App", TRUE, t.root(), plan));
    ASSERT_EQ(plan.vsPlan.size(), 1u);
    bool ipchInMain = false;
    for (const ITEM_2_DELETE& item : plan.mainPlan)
        ipchInMain |= item.strPath.find(L"\\.vs\\App\\v17\\ipch") != std::wstring::npos;
    ASSERT_TRUE(ipchInMain) << "the case needs the main walk to plan ipch as well";

    CleanupFailure failure = CleanupFailure::Planning;
    EXPECT_TRUE(CleanSolutionFolder(L"App", TRUE, t.root(), nullptr, &failure));
    EXPECT_EQ(failure, CleanupFailure::None);
    EXPECT_EQ(t.listing(), (Listing{L"App.sln", L"Docs\\", L"Docs\\notes.log", kDoNotDeleteFileName}));
    EXPECT_TRUE(InTrash(t.path(L".vs")));
}

TEST_F(TransactionTest, LockedFilesFailTheirItemsOnlyAndPassTwoErrorWins)
{
    TempTree t(L"passes");
    t.files({L"App.sln", L".vs/App/v17/.suo",
             L".vs/App/v17/x.db",   // planned as a file of a folder that stays
             L"x64/Debug/a.obj", L"one.log", L"two.log"});
    CLEANUP_PLAN plan;
    ASSERT_TRUE(BuildCleanupPlan(L"App", FALSE, t.root(), plan));
    ASSERT_FALSE(plan.vsPlan.empty());

    // x.db is held open without sharing: its shell delete fails (32).
    UniqueFile locked = testutil::HoldFile(t.path(L".vs/App/v17/x.db"));
    ASSERT_TRUE(locked);

    {
        // Pass one fails with 32, pass two is stopped with 1235: pass two's code wins.
        FakeHost host;
        host.stopAfterItems = plan.vsPlan.size() + 1;
        CleanupFailure failure = CleanupFailure::None;
        EXPECT_FALSE(CleanSolutionFolder(L"App", FALSE, t.root(), &host, &failure));
        EXPECT_EQ(::GetLastError(), 1235u);
        EXPECT_EQ(failure, CleanupFailure::Deletion);
        EXPECT_TRUE(t.exists(L"one.log"));
    }
    {
        // Pass two succeeds: pass one's code is reported, and everything else went.
        FakeHost host;
        CleanupFailure failure = CleanupFailure::None;
        EXPECT_FALSE(CleanSolutionFolder(L"App", FALSE, t.root(), &host, &failure));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(failure, CleanupFailure::Deletion);
        EXPECT_EQ(host.itemsDone.back(), host.total);
    }
    locked.reset();
    EXPECT_EQ(t.listing(), (Listing{L".vs\\", L".vs\\App\\", L".vs\\App\\v17\\", L".vs\\App\\v17\\.suo",
                                    L".vs\\App\\v17\\x.db", L"App.sln"}));
    EXPECT_EQ(t.untrashed({L"one.log", L"x64/Debug"}), Listing{});
}

TEST_F(TransactionTest, StopRequestStopsBothPassesWith1235)
{
    TempTree t(L"stop");
    t.files({L"App.sln", L".vs/App/v17/a.db", L"x64/Debug/a.obj", L"one.log", L"two.log"});
    FakeHost host;
    host.stopAfterItems = 1;   // right after the .vs folder went
    CleanupFailure failure = CleanupFailure::None;
    EXPECT_FALSE(CleanSolutionFolder(L"App", TRUE, t.root(), &host, &failure));
    EXPECT_EQ(::GetLastError(), 1235u);
    EXPECT_EQ(failure, CleanupFailure::Deletion);
    EXPECT_FALSE(t.exists(L".vs"));
    // Pass two started and stopped after its first item (the x64 sweep folder,
    // which still holds something).
    EXPECT_EQ(host.itemsDone.size(), 2u);
    EXPECT_EQ(t.missing({L"x64/Debug/a.obj", L"one.log", L"two.log"}), Listing{});
}
