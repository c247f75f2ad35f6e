#include <gtest/gtest.h>

#include <algorithm>

#include "engine/recycling/Counters.h"
#include "engine/recycling/ShellDelete.h"
#include "engine/deciding/Decision.h"
#include "engine/running/Executor.h"
#include "engine/planning/KeepListReader.h"
#include "engine/running/Transaction.h"
#include "support/ErrorText.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::FakeHost;
using testutil::InTrash;
using testutil::TempTree;

namespace {

using Listing = std::vector<std::wstring>;

// One pass without a window, as the engine runs without a progress bar.
BOOL Apply(const ProtectedList& keep, const DeletePlan& plan, DWORD& error, BOOL direction = kFirstToLast)
{
    DELETE_PROGRESS progress;
    progress.total = static_cast<UINT>(plan.size());
    ::SetLastError(0xDEAD);
    BOOL ok = ApplyDeletionPlan(keep, plan, progress, nullptr, direction);
    error = ::GetLastError();
    return ok;
}

// A pass that succeeds and leaves 0 as the last error.
::testing::AssertionResult AppliedCleanly(const ProtectedList& keep, const DeletePlan& plan)
{
    DWORD error = 0;
    if (!Apply(keep, plan, error)) return ::testing::AssertionFailure() << "the pass failed with error " << error;
    if (error != 0) return ::testing::AssertionFailure() << "the pass succeeded with error " << error;
    return ::testing::AssertionSuccess();
}

// A plan whose paths are relative to the tree (a trailing separator stays).
DeletePlan PlanIn(const TempTree& t, std::initializer_list<std::pair<const wchar_t*, int>> items)
{
    DeletePlan plan;
    for (const auto& [rel, type] : items) plan.push_back({t.path(rel), type});
    return plan;
}

ITEM_2_KEEP KeepFile(const std::wstring& path) { return {0, path}; }
ITEM_2_KEEP KeepFolder(const std::wstring& path) { return {1, path}; }

class ExecutorTest : public ::testing::Test {};

} // namespace

TEST(DecideItem, OneDecisionForEveryKindOfItem)
{
    TempTree t(L"decide");
    t.files({L"obj/a/b/keep.txt", L"obj/a/x.obj", L"ipch/y.ipch", L"unseen/x.obj"});
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"unseen/star*")));
    const ProtectedList keep{KeepFile(t.path(L"obj/a/b/keep.txt")), KeepFile(t.path(L"a.obj")),
                             KeepFolder(t.path(L"Debug")), KeepFile(t.path(L"unseen/gone.txt")),
                             KeepFile(t.path(L"ipch/other.txt"))};
    struct CASE {
        std::wstring path;
        int type;
        ObjectState state;
        ItemAction action;
        DWORD error;
    };
    const ObjectState folder = ObjectState::Folder, other = ObjectState::Other;
    const CASE cases[] = {
        // A broken plan fails on its own, whatever the list says.
        {t.path(L"a.obj"), 9, other, ItemAction::Refuse, ERROR_INVALID_DATA},
        {L"", DEL_TYPE_FILE, other, ItemAction::Refuse, 8208},
        {L".\\s\\a.obj", DEL_TYPE_FILE, other, ItemAction::Refuse, 8208},
        {L"..\\s", DEL_TYPE_FOLDER_TREE, folder, ItemAction::Refuse, 8208},
        // Entries protect items of their own kind, in any spelling.
        {t.path(L"A.OBJ"), DEL_TYPE_FILE, other, ItemAction::Spare, 0},
        {t.path(L"a.obj"), DEL_TYPE_FOLDER_TREE, folder, ItemAction::Recycle, 0},
        {t.path(L"debug\\"), DEL_TYPE_FOLDER_NO_RECURSION, folder, ItemAction::Spare, 0},
        {t.path(L"x\\..\\Debug"), DEL_TYPE_EMPTY_FOLDER, folder, ItemAction::Spare, 0},
        {t.path(L"Debug"), DEL_TYPE_FILE, other, ItemAction::Recycle, 0},
        // What stands there now.
        {t.path(L"gone.obj"), DEL_TYPE_FILE, ObjectState::Missing, ItemAction::AlreadyGone, 0},
        {t.path(L"x64"), DEL_TYPE_EMPTY_FOLDER, ObjectState::Missing, ItemAction::AlreadyGone, 0},
        {t.path(L"link"), DEL_TYPE_FOLDER_TREE, ObjectState::ReparsePoint, ItemAction::LeaveLink, 0},
        {t.path(L"link"), DEL_TYPE_FILE, ObjectState::ReparsePoint, ItemAction::LeaveLink, 0},
        {t.path(L"obj"), DEL_TYPE_FOLDER_TREE, other, ItemAction::Refuse, ERROR_DIRECTORY},
        {t.path(L"x.obj"), DEL_TYPE_FILE, folder, ItemAction::Refuse, ERROR_BAD_FORMAT},
        {t.path(L"x64"), DEL_TYPE_EMPTY_FOLDER, folder, ItemAction::RemoveIfEmpty, 0},
        // A folder with an entry below it is looked through: taken apart around
        // what it holds, sent whole when the entry is not there, left alone when
        // part of it cannot be seen.
        {t.path(L"obj\\"), DEL_TYPE_FOLDER_TREE, folder, ItemAction::TakeApart, 0},
        {t.path(L"ipch"), DEL_TYPE_FOLDER_NO_RECURSION, folder, ItemAction::Recycle, 0},
        {t.path(L"unseen"), DEL_TYPE_FOLDER_TREE, folder, ItemAction::Refuse, ERROR_INVALID_NAME},
    };
    for (const CASE& c : cases) {
        const ITEM_2_DELETE item{c.path, c.type};
        const ITEM_DECISION d = DecideItem(item, ItemPath(item), c.state, keep, nullptr);
        EXPECT_EQ(d.action, c.action) << testutil::Narrow(c.path) << " type " << c.type;
        EXPECT_EQ(d.error, c.error) << testutil::Narrow(c.path) << " type " << c.type;
    }
    // The scan asks whether to go on: a stop refuses the item.
    FakeHost stopping;
    stopping.stopRequested = true;
    const ITEM_2_DELETE obj{t.path(L"obj"), DEL_TYPE_FOLDER_TREE};
    const ITEM_DECISION stopped = DecideItem(obj, ItemPath(obj), folder, keep, &stopping);
    EXPECT_EQ(stopped.action, ItemAction::Refuse);
    EXPECT_EQ(stopped.error, 1235u);
}

TEST_F(ExecutorTest, ShellDeleteSendsOneObjectToTheTrash)
{
    TempTree t(L"shell");
    t.files({L"a.obj",
             L"a.obj2",   // a longer name behind it must not be read into the list
             L"dir/inner.txt"});

    EXPECT_EQ(ShellDeleteItem(L"", kShellFlagsFile, nullptr), static_cast<DWORD>(-1));
    EXPECT_EQ(ShellDeleteItem(t.path(L"a.obj"), kShellFlagsFile, nullptr), 0u);
    EXPECT_EQ(ShellDeleteItem(t.path(L"dir"), kShellFlagsFolderTree, nullptr), 0u);
    // Already gone: counts as deleted.
    EXPECT_EQ(ShellDeleteItem(t.path(L"a.obj"), kShellFlagsFile, nullptr), 0u);
    EXPECT_EQ(ShellDeleteItem(t.path(L"never\\there.obj"), kShellFlagsFile, nullptr), 0u);

    EXPECT_EQ(t.listing(), (Listing{L"a.obj2"}));
    EXPECT_EQ(t.trashed({L"a.obj", L"dir", L"a.obj2"}), (Listing{L"a.obj", L"dir"}));
}

TEST_F(ExecutorTest, EachItemTypeIsCarriedOut)
{
    TempTree t(L"types");
    t.files({L"App.cpp", L"a.ncb"});
    t.dir(L"empty");
    t.files({L"full/keep.txt", L"Debug/App.exe", L"Debug/sub/x.obj", L"obj/deep/y.obj"});

    ResetShellDeleteCalls();
    EXPECT_TRUE(AppliedCleanly({}, PlanIn(t, {{L"a.ncb", DEL_TYPE_FILE}, {L"empty\\", DEL_TYPE_EMPTY_FOLDER},
                                              {L"full/", DEL_TYPE_EMPTY_FOLDER}, {L"Debug\\", DEL_TYPE_FOLDER_NO_RECURSION},
                                              {L"obj", DEL_TYPE_FOLDER_TREE}})));
    EXPECT_EQ(ShellDeleteCalls(), 3u) << "one call per file or folder, none for the empty folders";

    // The non-empty remove-if-empty folder stays, and that is no failure.
    EXPECT_EQ(t.listing(), (Listing{L"App.cpp", L"full\\", L"full\\keep.txt"}));
    EXPECT_EQ(t.untrashed({L"a.ncb", L"Debug", L"obj"}), Listing{});
    // An empty folder is removed outright, not recycled.
    EXPECT_FALSE(InTrash(t.path(L"empty")));
}

TEST_F(ExecutorTest, EmptyPlanSucceedsWithoutProgressOrPumping)
{
    FakeHost host;
    DELETE_PROGRESS progress{&host, 0, 0};
    ::SetLastError(5);
    EXPECT_TRUE(ApplyDeletionPlan({}, {}, progress, nullptr, kLastToFirst));
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_TRUE(host.itemsDone.empty());
    EXPECT_EQ(host.keepGoingCalls, 0u);
}

TEST_F(ExecutorTest, ProtectedEntriesOfTheRightKindShieldItems)
{
    TempTree t(L"keep");
    t.files({L"a.ncb", L"b.ncb", L"Debug/App.exe", L"obj/x.obj", L"ipch/y.ipch"});

    ProtectedList keep{
        KeepFile(t.path(L"A.NCB")),        // shields the file item
        KeepFolder(t.path(L"debug")),      // shields the folder item
        KeepFile(t.path(L"obj")),          // wrong kind: no shield for a folder
        KeepFolder(t.path(L"b.ncb")),      // wrong kind: no shield for a file
    };
    const DeletePlan plan = PlanIn(t, {{L"a.ncb", DEL_TYPE_FILE}, {L"b.ncb", DEL_TYPE_FILE},
                                       {L"Debug\\", DEL_TYPE_FOLDER_NO_RECURSION}, {L"obj\\", DEL_TYPE_FOLDER_TREE},
                                       {L"ipch", DEL_TYPE_FOLDER_TREE}});
    FakeHost host;
    DELETE_PROGRESS progress{&host, 0, static_cast<UINT>(plan.size())};
    EXPECT_TRUE(ApplyDeletionPlan(keep, plan, progress, nullptr, kFirstToLast));
    EXPECT_EQ(::GetLastError(), 0u);

    EXPECT_EQ(t.listing(), (Listing{L"Debug\\", L"Debug\\App.exe", L"a.ncb"}));
    EXPECT_EQ(t.untrashed({L"b.ncb", L"obj", L"ipch"}), Listing{});
    // Spared items still count as done.
    EXPECT_EQ(host.itemsDone, (std::vector<UINT>{1, 2, 3, 4, 5}));
}

TEST_F(ExecutorTest, FolderWithProtectedFileThreeLevelsDownIsTakenApartAroundIt)
{
    TempTree t(L"apart");
    t.files({L"obj/top.obj", L"obj/a/one.obj", L"obj/a/b/two.obj", L"obj/a/b/c/keep.txt", L"obj/a/b/c/three.obj",
             L"obj/a/side/four.obj", L"obj/a/side/deeper/five.obj"});
    t.dir(L"obj/emptied/nothing");
    t.file(L"App.cpp");

    ProtectedList keep{KeepFile(t.path(L"obj/a/b/c/keep.txt"))};
    ResetShellDeleteCalls();
    EXPECT_TRUE(AppliedCleanly(keep, PlanIn(t, {{L"obj\\", DEL_TYPE_FOLDER_TREE}})));
    EXPECT_EQ(ShellDeleteCalls(), 6u) << "one shell call per file, none for folders";

    EXPECT_EQ(t.listing(), (Listing{L"App.cpp", L"obj\\", L"obj\\a\\", L"obj\\a\\b\\", L"obj\\a\\b\\c\\",
                                    L"obj\\a\\b\\c\\keep.txt"}));
    // Each file went to the trash on its own; emptied folders were removed, not recycled.
    EXPECT_EQ(t.untrashed({L"obj/top.obj", L"obj/a/one.obj", L"obj/a/b/two.obj", L"obj/a/b/c/three.obj",
                           L"obj/a/side/four.obj", L"obj/a/side/deeper/five.obj"}), Listing{});
    EXPECT_EQ(t.trashed({L"obj", L"obj/a/side", L"obj/emptied"}), Listing{});
}

TEST_F(ExecutorTest, ProtectedFolderInsideTreeIsKeptWholeButAPlannedItemBelowItIsNot)
{
    TempTree t(L"keepdir");
    t.files({L"obj/Keep/inner/k.bin", L"obj/gone.obj", L"src/Keep2/Debug/x.obj", L"src/Keep2/main.cpp"});

    ProtectedList keep{KeepFolder(t.path(L"obj/keep")), KeepFolder(t.path(L"src/Keep2"))};
    EXPECT_TRUE(AppliedCleanly(
        keep, PlanIn(t, {{L"obj", DEL_TYPE_FOLDER_TREE}, {L"src/Keep2/Debug", DEL_TYPE_FOLDER_NO_RECURSION}})));
    EXPECT_EQ(t.listing(), (Listing{L"obj\\", L"obj\\Keep\\", L"obj\\Keep\\inner\\", L"obj\\Keep\\inner\\k.bin",
                                    L"src\\", L"src\\Keep2\\", L"src\\Keep2\\main.cpp"}));
    EXPECT_EQ(t.untrashed({L"obj/gone.obj", L"src/Keep2/Debug"}), Listing{});
}

TEST_F(ExecutorTest, LinksAreNeverFollowed)
{
    TempTree outside(L"target");
    outside.files({L"precious.txt", L"sub/more.txt"});
    const Listing before = outside.listing();

    TempTree t(L"links");
    t.files({L"obj/x.obj", L"obj/keep.txt"});
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"obj/link"), outside.root()));
    t.file(L"ipch/y.ipch");
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"ipch/link"), outside.root()));
    t.dir(L"Debug");
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Debug/out"), outside.root()));

    // obj is taken apart around keep.txt: the link inside is neither entered
    // nor removed. ipch goes whole (nothing protected in it). Debug\out is
    // itself a planned item that is a link: left alone, whatever its type.
    ProtectedList keep{KeepFile(t.path(L"obj/keep.txt"))};
    EXPECT_TRUE(AppliedCleanly(keep, PlanIn(t, {{L"obj", DEL_TYPE_FOLDER_TREE}, {L"ipch", DEL_TYPE_FOLDER_TREE},
                                                {L"Debug/out", DEL_TYPE_FOLDER_TREE}, {L"Debug/out", DEL_TYPE_FILE}})));

    EXPECT_EQ(outside.listing(), before);
    EXPECT_EQ(t.missing({L"obj/link", L"obj/keep.txt", L"Debug/out"}), Listing{});
    EXPECT_EQ(t.present({L"obj/x.obj", L"ipch"}), Listing{});
    EXPECT_FALSE(InTrash(outside.path(L"precious.txt")));
}

TEST_F(ExecutorTest, ProgressRunsOverBothPassesOfOneFolder)
{
    TempTree t(L"progress");
    DeletePlan first, second;
    for (int i = 0; i < 3; ++i) {
        t.file(L"v" + std::to_wstring(i) + L".log");
        first.push_back({t.path(L"v" + std::to_wstring(i) + L".log"), DEL_TYPE_FILE});
    }
    for (int i = 0; i < 5; ++i) {
        t.file(L"m" + std::to_wstring(i) + L".tlog");
        second.push_back({t.path(L"m" + std::to_wstring(i) + L".tlog"), DEL_TYPE_FILE});
    }
    FakeHost host;
    DELETE_PROGRESS progress{&host, 0, 8};
    EXPECT_TRUE(ApplyDeletionPlan({}, first, progress, nullptr, kFirstToLast));
    EXPECT_TRUE(ApplyDeletionPlan({}, second, progress, nullptr, kLastToFirst));

    EXPECT_EQ(host.itemsDone, (std::vector<UINT>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(host.total, 8u);
    EXPECT_EQ(host.keepGoingCalls, 8u) << "asked once after every item";
    EXPECT_EQ(progress.done, 8u);
    EXPECT_TRUE(t.listing().empty());

    // More items than announced: the count stops at the total.
    t.file(L"extra.log");
    EXPECT_TRUE(ApplyDeletionPlan({}, {{t.path(L"extra.log"), DEL_TYPE_FILE}}, progress, nullptr, kFirstToLast));
    EXPECT_EQ(host.itemsDone.back(), 8u);
    EXPECT_EQ(progress.done, 8u);
}

TEST_F(ExecutorTest, StopRequestEndsThePassAfterTheItemInProgress)
{
    TempTree t(L"abort");
    DeletePlan plan;
    for (int i = 0; i < 5; ++i) {
        t.file(L"f" + std::to_wstring(i) + L".obj");
        plan.push_back({t.path(L"f" + std::to_wstring(i) + L".obj"), DEL_TYPE_FILE});
    }
    FakeHost host;
    host.stopAfterItems = 2;
    DELETE_PROGRESS progress{&host, 0, 5};
    EXPECT_FALSE(ApplyDeletionPlan({}, plan, progress, nullptr, kLastToFirst));
    EXPECT_EQ(::GetLastError(), 1235u);
    // Reverse: f4 and f3 went, the rest stays untouched.
    EXPECT_EQ(t.listing(), (Listing{L"f0.obj", L"f1.obj", L"f2.obj"}));
    EXPECT_TRUE(InTrash(t.path(L"f3.obj")));
    EXPECT_EQ(host.itemsDone.size(), 2u);
}

TEST_F(ExecutorTest, FailedItemsDoNotStopThePassAndTheLastFailureWins)
{
    TempTree t(L"fail");
    t.files({L"a.obj", L"b.obj", L"c.obj"});
    ::SetCurrentDirectoryW(t.root().c_str());

    DeletePlan plan{
        {t.path(L"a.obj"), DEL_TYPE_FILE},
        {L"c.obj", DEL_TYPE_FILE},         // relative: 8208, and c.obj stays
        {t.path(L"b.obj"), 9},             // out of range: 13, b.obj stays
        {t.path(L"d.obj"), DEL_TYPE_FILE},
    };
    t.file(L"d.obj");
    DWORD error = 0;
    EXPECT_FALSE(Apply({}, plan, error, kFirstToLast));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(t.listing(), (Listing{L"b.obj", L"c.obj"}));

    // Reverse order: the relative item is the last to fail.
    t.files({L"a.obj", L"d.obj"});
    EXPECT_FALSE(Apply({}, plan, error, kLastToFirst));
    EXPECT_EQ(error, 8208u);
    EXPECT_EQ(t.listing(), (Listing{L"b.obj", L"c.obj"}));

    // The same with a protected list that has to be consulted.
    t.files({L"a.obj", L"d.obj"});
    EXPECT_FALSE(Apply({KeepFile(t.path(L"b.obj"))}, plan, error, kFirstToLast));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(t.listing(), (Listing{L"b.obj", L"c.obj"}));
    ::SetCurrentDirectoryW(L"C:\\");
}

TEST_F(ExecutorTest, VanishedItemsCountAsDeleted)
{
    TempTree t(L"gone");
    t.file(L"keep.txt");
    ProtectedList keep{KeepFile(t.path(L"keep.txt"))};
    // A folder already gone, with a protected list that would have it scanned.
    EXPECT_TRUE(AppliedCleanly(keep, PlanIn(t, {{L"gone.obj", DEL_TYPE_FILE}, {L"Debug", DEL_TYPE_FOLDER_NO_RECURSION},
                                                {L"obj/ipch", DEL_TYPE_FOLDER_TREE}, {L"x64", DEL_TYPE_EMPTY_FOLDER}})));
    EXPECT_EQ(t.listing(), (Listing{L"keep.txt"}));
}

TEST_F(ExecutorTest, TakeApartStopsWhenAsked)
{
    TempTree t(L"cft");
    t.files({L"root/a/b/keep.txt", L"root/a/x.obj", L"root/y.obj"});
    ProtectedList keep{KeepFile(t.path(L"root/a/b/keep.txt"))};

    // A stop request: the take-apart deletes nothing at all.
    FakeHost stopping;
    stopping.stopRequested = true;
    const DeletePlan plan = PlanIn(t, {{L"root", DEL_TYPE_FOLDER_TREE}});
    DELETE_PROGRESS progress{&stopping};
    progress.total = 1;
    ::SetLastError(0);
    EXPECT_FALSE(ApplyDeletionPlan(keep, plan, progress, nullptr, kFirstToLast));
    EXPECT_EQ(::GetLastError(), 1235u);
    EXPECT_TRUE(t.exists(L"root/a/x.obj"));
    EXPECT_TRUE(t.exists(L"root/y.obj"));

    EXPECT_TRUE(AppliedCleanly(keep, plan));
    EXPECT_EQ(t.listing(), (Listing{L"root\\", L"root\\a\\", L"root\\a\\b\\", L"root\\a\\b\\keep.txt"}));
}

TEST_F(ExecutorTest, PathsTheShellCannotTakeAreRefusedBeforeIt)
{
    TempTree t(L"long");
    t.files({L"App.sln",
             L"Debug/a.obj"});   // within the shell's reach: goes
    const std::wstring deep = std::wstring(120, L'd') + L"/" + std::wstring(120, L'e');
    t.file(deep + L"/Debug/b.obj");
    t.file(deep + L"/x.log");
    t.file(deep + L"/obj/c.obj");   // obj is taken apart around kept.txt: c.obj is a file of its own
    t.file(deep + L"/obj/kept.txt");
    t.file(deep + L"/obj/" + kDoNotDeleteFileName, "kept.txt");
    struct CASE {
        std::wstring rel;
        bool planItem;   // else a file of a folder taken apart
    };
    const CASE cases[] = {{deep + L"/Debug", true}, {deep + L"/x.log", true}, {deep + L"/obj/c.obj", false}};
    ASSERT_GE(t.path(deep + L"/x.log").size(), static_cast<size_t>(MAX_PATH));

    const CLEANUP_PLAN plan = PlanSolutionFolder(t.root(), {});
    ASSERT_EQ(plan.status, FolderStatus::Planned);
    // The dry run says so before anything is touched.
    const CLEANUP_FORECAST forecast = ForecastCleanup(plan);
    EXPECT_EQ(forecast.error, kErrorPathTooLongForShell);
    for (const wchar_t* refused : {L"/Debug", L"/x.log", L"/obj"}) {
        const auto it = std::find_if(forecast.items.begin(), forecast.items.end(), [&](const ITEM_OUTCOME& o) {
            return NormalizeFolderPath(o.path, FALSE) == t.path(deep + refused);
        });
        ASSERT_NE(it, forecast.items.end()) << testutil::Narrow(refused);
        EXPECT_EQ(it->action, ItemAction::Refuse) << testutil::Narrow(refused);
        EXPECT_EQ(it->error, kErrorPathTooLongForShell) << testutil::Narrow(refused);
    }

    FakeHost host;
    ResetShellDeleteCalls();
    CleanupFailure failure = CleanupFailure::None;
    EXPECT_FALSE(ApplyCleanupPlan(plan, &host, &failure));
    EXPECT_EQ(::GetLastError(), kErrorPathTooLongForShell);
    EXPECT_EQ(failure, CleanupFailure::Deletion);
    EXPECT_EQ(ShellDeleteCalls(), 1u) << "only the short Debug folder reached the shell";
    for (const CASE& c : cases) {
        EXPECT_TRUE(t.exists(c.rel)) << testutil::Narrow(c.rel);
        EXPECT_FALSE(InTrash(t.path(c.rel))) << testutil::Narrow(c.rel);
        const std::pair<std::wstring, DWORD> failed{t.path(c.rel), kErrorPathTooLongForShell};
        EXPECT_NE(std::find(host.failures.begin(), host.failures.end(), failed), host.failures.end())
            << testutil::Narrow(c.rel) << (c.planItem ? " (planned)" : " (taken apart)");
    }
    EXPECT_EQ(host.failures.size(), std::size(cases));
    EXPECT_TRUE(t.exists(deep + L"/obj/kept.txt"));
    EXPECT_FALSE(t.exists(L"Debug"));
    EXPECT_TRUE(InTrash(t.path(L"Debug")));
}

// The dry run lists in plan order (the .vs plan, then the main plan), though
// the main plan is applied last to first, and an object reached twice once:
// at the item that removes it.
TEST(Forecast, ListsEachObjectOnceInPlanOrder)
{
    TempTree t(L"order");
    const std::wstring vs = t.path(L".vs"), f = t.path(L"F"), g = t.path(L"G"), a = t.path(L"a.obj");
    struct CASE {
        const char* what;
        DeletePlan mainPlan;
        std::vector<std::pair<std::wstring, ItemAction>> listed;   // after the .vs folder
    };
    const CASE cases[] = {
        {"each once", {{a, DEL_TYPE_FILE}, {g, DEL_TYPE_FOLDER_TREE}, {f, DEL_TYPE_EMPTY_FOLDER}},
         {{a, ItemAction::Recycle}, {g, ItemAction::Recycle}, {f, ItemAction::RemoveIfEmpty}}},
        // Applied last to first: the earlier item comes later and removes it.
        {"a folder emptied twice",
         {{f, DEL_TYPE_EMPTY_FOLDER}, {a, DEL_TYPE_FILE}, {f, DEL_TYPE_EMPTY_FOLDER}},
         {{f, ItemAction::RemoveIfEmpty}, {a, ItemAction::Recycle}}},
        // The folder sent whole is gone before its remove-if-empty entry comes.
        {"a folder sent whole and emptied", {{f, DEL_TYPE_EMPTY_FOLDER}, {a, DEL_TYPE_FILE}, {f, DEL_TYPE_FOLDER_TREE}},
         {{a, ItemAction::Recycle}, {f, ItemAction::Recycle}}},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.what);
        CLEANUP_PLAN plan;
        plan.status = FolderStatus::Planned;
        plan.vsPlan = {{vs, DEL_TYPE_FOLDER_TREE}};
        plan.mainPlan = c.mainPlan;
        std::vector<std::pair<std::wstring, ItemAction>> listed;
        for (const ITEM_OUTCOME& o : ForecastCleanup(plan).items) listed.emplace_back(o.path, o.action);
        ASSERT_FALSE(listed.empty());
        EXPECT_EQ(listed.front(), std::make_pair(vs, ItemAction::Recycle));
        listed.erase(listed.begin());
        EXPECT_EQ(listed, c.listed);
    }
}
