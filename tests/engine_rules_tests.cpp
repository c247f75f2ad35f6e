#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "engine/planning/Collectors.h"
#include "engine/running/Transaction.h"
#include "support/DirListing.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

namespace {

using Item = std::pair<std::wstring, int>;   // path relative to the tree root, nType
using Items = std::vector<Item>;

// The plan with the tree's root cut off every path, in plan order.
Items Relative(const DeletePlan& plan, const TempTree& tree)
{
    const std::wstring prefix = tree.root() + L"\\";
    Items out;
    for (const ITEM_2_DELETE& item : plan) {
        EXPECT_EQ(item.strPath.compare(0, prefix.size(), prefix), 0) << testutil::Narrow(item.strPath);
        out.emplace_back(item.strPath.substr(prefix.size()), item.nType);
    }
    return out;
}

Items Sorted(Items items)
{
    std::sort(items.begin(), items.end());
    return items;
}

// The .vs walk's plan as it came, checked to be in post-order: whatever lies
// inside a planned folder comes before it.
Items PostOrder(Items items)
{
    for (size_t i = 0; i < items.size(); ++i) {
        const std::wstring inside = items[i].first + L"\\";
        for (size_t j = i + 1; j < items.size(); ++j)
            EXPECT_NE(items[j].first.rfind(inside, 0), 0u)
                << testutil::Narrow(items[j].first) << " after " << testutil::Narrow(items[i].first);
    }
    return items;
}

// A walk's answer, the code it left as the last error (preset to 0xDEAD), and what it collected.
struct Walk {
    BOOL ok = FALSE;
    DWORD error = 0;
    DeletePlan plan;
    ProtectedList keep;
};

Walk Observe(const std::function<BOOL(Walk&)>& walk)
{
    Walk w;
    ::SetLastError(0xDEAD);
    w.ok = walk(w);
    w.error = ::GetLastError();
    return w;
}

Walk Collect(const std::wstring& folder, BOOL deleteSuo, WalkTop top = WalkTop::SolutionFolder)
{
    return Observe([&](Walk& w) { return CollectArtifacts(folder, w.plan, deleteSuo, w.keep, top); });
}

Walk CollectVs(const std::wstring& folder, const std::wstring& baseName, BOOL deleteSuo)
{
    return Observe([&](Walk& w) { return CollectVsFolder(folder, baseName, deleteSuo, w.plan); });
}

// Entry names of a folder in the order the file system lists them.
std::vector<std::wstring> ListedNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    (void)ForEachEntry(folder + L"\\", [&](const WIN32_FIND_DATAW& e) { names.push_back(e.cFileName); });
    return names;
}

} // namespace

TEST(CollectArtifacts, CppSolutionPlansBuildOutputAndIntermediates)
{
    TempTree t(L"cpp");
    t.files({L"Sol/Sol.sln",
             L"Sol/Sol.suo",   // option off: stays
             L"Sol/build.log", L"Sol/README", L"Sol/App/App.vcxproj", L"Sol/App/App.vcxproj.user", L"Sol/App/main.cpp",
             L"Sol/App/notes.lo g",   // a blank after the dot: no extension
             L"Sol/App/x64/Debug/App.tlog/CL.command.1.tlog", L"Sol/App/x64/Debug/main.obj", L"Sol/x64/Release/App.exe",
             L"Sol/x64/Release/App.pdb", L"Sol/x64/Release/App.obj", L"Sol/x64/Release/App.ilk",
             L"Sol/x64/Release/App.exp", L"Sol/x64/Release/App.tlog/link.read.1.tlog",
             L"Sol/x64/Release/App.tlog/unsuccessfulbuild",
             L"Sol/x64/App.tlog/CL.read.1.tlog",   // App.tlog under x64 is an ordinary folder
             L"Sol/x64/App.tlog/App.lastbuildstate", L"Sol/x64/vc143.pdb", L"Sol/ARM64/Release/App.dll",
             L"Sol/ARM64/Release/App.iobj", L"Sol/ipch/AutoPCH/x.ipch", L"Sol/App/obj/x.obj",
             L"Sol/App.tlog/top.tlog"});   // directly in the solution folder: entered

    Walk w = Collect(t.path(L"Sol"), FALSE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(Sorted(Relative(w.plan, t)), Sorted({
        {L"Sol\\build.log", DEL_TYPE_FILE},
        {L"Sol\\App\\App.vcxproj.user", DEL_TYPE_FILE},
        {L"Sol\\App\\x64\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\App\\x64\\Debug\\", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\App\\obj\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\x64\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\x64\\Release\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\x64\\Release\\App.obj", DEL_TYPE_FILE},
        {L"Sol\\x64\\Release\\App.ilk", DEL_TYPE_FILE},
        {L"Sol\\x64\\Release\\App.exp", DEL_TYPE_FILE},
        {L"Sol\\x64\\Release\\App.tlog\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\x64\\App.tlog\\CL.read.1.tlog", DEL_TYPE_FILE},
        {L"Sol\\ARM64\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\ARM64\\Release\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\ARM64\\Release\\App.iobj", DEL_TYPE_FILE},
        {L"Sol\\ipch\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\App.tlog\\top.tlog", DEL_TYPE_FILE},
    }));

    // With the option on, the .suo beside the solution goes as well.
    Walk on = Collect(t.path(L"Sol"), TRUE);
    ASSERT_TRUE(on.ok);
    EXPECT_EQ(on.plan.size(), w.plan.size() + 1);
    Items items = Relative(on.plan, t);
    EXPECT_NE(std::find(items.begin(), items.end(), Item{L"Sol\\Sol.suo", DEL_TYPE_FILE}), items.end());
}

TEST(CollectArtifacts, DotNetLayoutAndTheReleaseFileRule)
{
    TempTree t(L"net");
    t.files({L"Sol/Sol.slnx", L"Sol/Lib/Lib.csproj", L"Sol/Lib/Lib.csproj.user", L"Sol/Lib/obj/project.assets.json",
             L"Sol/Lib/bin/Debug/net8.0/Lib.dll", L"Sol/Lib/bin/Release/Lib.dll", L"Sol/Lib/bin/Release/Lib.xml",
             L"Sol/Lib/bin/Release/Lib.deps.json",   // .NET's start-up files stay too
             L"Sol/Lib/bin/Release/Lib.runtimeconfig.json", L"Sol/Lib/bin/Release/App.exe.config",
             L"Sol/Lib/bin/Release/Lib.dll.config", L"Sol/Lib/bin/Release/setup.msi", L"Sol/Lib/bin/Release/app.lib",
             L"Sol/Lib/bin/Release/noextension",
             L"Sol/Lib/bin/Release/old.suo",   // planned there, option off or on
             L"Sol/Lib/bin/Release/Mopwright (do not delete).txt",   // never planned, anywhere
             L"Sol/Lib/bin/Release/net8.0/Lib.dll",   // general rule below Release
             L"Sol/Lib/bin/Release/net8.0/Lib.pdb", L"Sol/Lib/bin/Release/net8.0/build.log",
             L"Sol/Lib/bin/Release/net8.0/Release/x.obj",   // a Release inside: release rule
             L"Sol/Lib/bin/Release/net8.0/Lib.tlog/a.tlog"});   // not directly in Release: entered

    Walk w = Collect(t.path(L"Sol"), FALSE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(Sorted(Relative(w.plan, t)), Sorted({
        {L"Sol\\Lib\\Lib.csproj.user", DEL_TYPE_FILE},
        {L"Sol\\Lib\\obj\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\Lib\\bin\\Debug\\", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\Lib\\bin\\Release\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\Lib\\bin\\Release\\Lib.xml", DEL_TYPE_FILE},
        {L"Sol\\Lib\\bin\\Release\\noextension", DEL_TYPE_FILE},
        {L"Sol\\Lib\\bin\\Release\\old.suo", DEL_TYPE_FILE},
        {L"Sol\\Lib\\bin\\Release\\net8.0\\build.log", DEL_TYPE_FILE},
        {L"Sol\\Lib\\bin\\Release\\net8.0\\Release\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\Lib\\bin\\Release\\net8.0\\Release\\x.obj", DEL_TYPE_FILE},
        {L"Sol\\Lib\\bin\\Release\\net8.0\\Lib.tlog\\a.tlog", DEL_TYPE_FILE},
    }));
}

TEST(CollectArtifacts, NamesAndExtensionsMatchInAnyCaseAndAttributesDoNotMatter)
{
    TempTree t(L"case");
    t.files({L"Sol/DEBUG/a.cpp", L"Sol/Obj/a.cpp", L"Sol/IPCH/a.cpp", L"Sol/X64/A.OBJ", L"Sol/arm64/RELEASE/A.EXE",
             L"Sol/arm64/RELEASE/A.OBJ", L"Sol/Build.LOG", L"Sol/hidden.sdf", L"Sol/readonly.NCB", L"Sol/a.Aps",
             L"Sol/a.bsc", L"Sol/a.sbr", L"Sol/a.TLog", L"Sol/main.cpp"});
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/hidden.sdf").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/readonly.NCB").c_str(), FILE_ATTRIBUTE_READONLY));

    Walk w = Collect(t.path(L"Sol"), FALSE);
    ::SetFileAttributesW(t.path(L"Sol/readonly.NCB").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(Sorted(Relative(w.plan, t)), Sorted({
        {L"Sol\\DEBUG\\", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\Obj\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\IPCH\\", DEL_TYPE_FOLDER_TREE},
        {L"Sol\\X64\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\arm64\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\arm64\\RELEASE\\", DEL_TYPE_EMPTY_FOLDER},
        {L"Sol\\arm64\\RELEASE\\A.OBJ", DEL_TYPE_FILE},
        {L"Sol\\Build.LOG", DEL_TYPE_FILE},
        {L"Sol\\hidden.sdf", DEL_TYPE_FILE},
        {L"Sol\\readonly.NCB", DEL_TYPE_FILE},
        {L"Sol\\a.Aps", DEL_TYPE_FILE},
        {L"Sol\\a.bsc", DEL_TYPE_FILE},
        {L"Sol\\a.sbr", DEL_TYPE_FILE},
        {L"Sol\\a.TLog", DEL_TYPE_FILE},
    }));
}

TEST(CollectArtifacts, PlanIsDepthFirstPreOrderInListingOrder)
{
    TempTree t(L"order");
    t.files({L"Sol/Sol.sln", L"Sol/a.log", L"Sol/x64/Release/App.obj", L"Sol/x64/Release/App.exe", L"Sol/Debug/App.pdb",
             L"Sol/src/obj/a.obj"});

    // What each entry of the solution folder contributes, in that order.
    const std::map<std::wstring, Items> contribution = {
        {L"Sol.sln", {}},
        {L"a.log", {{L"Sol\\a.log", DEL_TYPE_FILE}}},
        {L"x64", {{L"Sol\\x64\\", DEL_TYPE_EMPTY_FOLDER},
                  {L"Sol\\x64\\Release\\", DEL_TYPE_EMPTY_FOLDER},
                  {L"Sol\\x64\\Release\\App.obj", DEL_TYPE_FILE}}},
        {L"Debug", {{L"Sol\\Debug\\", DEL_TYPE_FOLDER_NO_RECURSION}}},
        {L"src", {{L"Sol\\src\\obj\\", DEL_TYPE_FOLDER_TREE}}},
    };
    Items expected;
    for (const std::wstring& name : ListedNames(t.path(L"Sol"))) {
        ASSERT_TRUE(contribution.count(name)) << testutil::Narrow(name);
        const Items& part = contribution.at(name);
        expected.insert(expected.end(), part.begin(), part.end());
    }

    Walk w = Collect(t.path(L"Sol"), FALSE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(Relative(w.plan, t), expected);
}

TEST(CollectArtifacts, SolutionFolderItselfIsExemptFromEveryFolderNameTest)
{
    for (const wchar_t* name : {L"Release", L"Debug", L"x64", L"obj", L"ipch", L"ARM64"}) {
        SCOPED_TRACE(testutil::Narrow(name));
        TempTree t(L"named");
        const std::wstring sol = name;
        t.file(sol + L"/App.sln");
        t.file(sol + L"/main.cpp");
        t.file(sol + L"/App.obj");          // the release file rule would plan it
        t.file(sol + L"/build.log");
        t.file(sol + L"/App.tlog/a.tlog");  // not a .tlog folder inside a release folder
        t.file(sol + L"/App.tlog/keep.txt");

        Walk w = Collect(t.path(sol), FALSE);
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(Sorted(Relative(w.plan, t)), Sorted({
            {sol + L"\\build.log", DEL_TYPE_FILE},
            {sol + L"\\App.tlog\\a.tlog", DEL_TYPE_FILE},
        }));

        // Below a solution folder the same names are build output again.
        Walk below = Collect(t.path(sol), FALSE, WalkTop::Subfolder);
        ASSERT_TRUE(below.ok);
        ASSERT_FALSE(below.plan.empty());
        EXPECT_EQ(below.plan.front().strPath, t.path(sol) + L"\\");
    }
}

TEST(CollectArtifacts, LastErrorTellsListedFromPlannedWhole)
{
    TempTree t(L"err");
    t.file(L"Sol/Debug/a.obj");
    Walk listed = Collect(t.path(L"Sol"), FALSE);
    EXPECT_TRUE(listed.ok);
    EXPECT_EQ(listed.error, static_cast<DWORD>(ERROR_NO_MORE_FILES));

    // A trailing separator and blanks around the path change nothing.
    Walk whole = Collect(L" " + t.path(L"Sol/Debug") + L"\\ ", FALSE, WalkTop::Subfolder);
    EXPECT_TRUE(whole.ok);
    EXPECT_EQ(whole.error, 0u);
    EXPECT_EQ(Relative(whole.plan, t), (Items{{L"Sol\\Debug\\", DEL_TYPE_FOLDER_NO_RECURSION}}));

    Walk missing = Collect(t.path(L"Nothing"), FALSE);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // An empty path never means "the current folder".
    Walk empty = Collect(L"  ", FALSE);
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, static_cast<DWORD>(ERROR_INVALID_BLOCK));
    EXPECT_TRUE(empty.plan.empty());
}

TEST(CollectArtifacts, SubFolderThatCannotBeListedFailsTheWholeWalk)
{
    TempTree t(L"unlist");
    t.files({L"Sol/a.log", L"Sol/src/deep/b.log"});
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"Sol/src/deep/star*")));

    Walk w = Collect(t.path(L"Sol"), FALSE);
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.error, static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(CollectArtifacts, EachFolderIsListedOnceWholeFoldersIncluded)
{
    TempTree t(L"count");
    t.files({L"Sol/Sol.sln", L"Sol/App/x64/Release/a.obj", L"Sol/App/x64/Debug/sub/a.obj", L"Sol/App/obj/sub/a.obj",
             L"Sol/ipch/sub/a", L"Sol/Lib/src/a.cpp"});

    DirListing::ResetListingsStarted();
    Walk w = Collect(t.path(L"Sol"), FALSE);
    ASSERT_TRUE(w.ok);
    // Every folder once: those planned whole are looked through for
    // do-not-delete files (Debug, Debug\sub, obj, obj\sub, ipch, ipch\sub).
    EXPECT_EQ(DirListing::ListingsStarted(), 12u);
    // A folder planned whole carries the bytes of the files below it.
    for (const ITEM_2_DELETE& item : w.plan) {
        if (item.nType == DEL_TYPE_FOLDER_TREE || item.nType == DEL_TYPE_FOLDER_NO_RECURSION) {
            EXPECT_EQ(item.bytes, 1u) << testutil::Narrow(item.strPath);
        }
    }
}

TEST(CollectArtifacts, LinksAreNeitherPlannedNorEntered)
{
    TempTree t(L"links");
    t.files({L"Outside/build.log", L"Outside/Debug/x.obj", L"Outside/x64/a.tlog", L"Sol/Sol.sln"});
    t.dir(L"Sol/Debug");
    t.dir(L"Sol/obj");
    // Links named like build output, like an ordinary folder, and inside folders
    // planned whole.
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/Release"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/x64"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/src"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/Debug/link"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/obj/link"), t.path(L"Outside")));

    DirListing::ResetListingsStarted();
    Walk w = Collect(t.path(L"Sol"), TRUE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(DirListing::ListingsStarted(), 3u) << "Sol, Debug and obj; no link listed, not even ahead of the walk";
    EXPECT_EQ(Sorted(Relative(w.plan, t)), Sorted({
        {L"Sol\\Debug\\", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\obj\\", DEL_TYPE_FOLDER_TREE},
    }));
}

// What the Recycle Bin keeps inside a solution was deleted once already: it is
// neither planned nor listed, not even ahead of the walk (the walk's own
// folders give the lister time to reach it).
TEST(CollectArtifacts, TheRecycleBinsStoreIsNeitherPlannedNorListed)
{
    TempTree t(L"store");
    t.files({L"Sol/Sol.sln", L"Sol/$Recycle.Bin/S-1-5-18/$R1/x64/b.log", L"Sol/RECYCLER/Dc1/c.log",
             L"Sol/A/a.log", L"Sol/B/src/b.cpp", L"Sol/C/src/c.cpp", L"Sol/D/src/d.cpp"});
    DirListing::ResetListingsStarted();
    Walk w = Collect(t.path(L"Sol"), TRUE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(DirListing::ListingsStarted(), 8u) << "Sol, A, B, C, D and their src folders; no store";
    EXPECT_EQ(Relative(w.plan, t), (Items{{L"Sol\\A\\a.log", DEL_TYPE_FILE}}));
}

TEST(FindSubfolder, MatchesFolderNamesInAnyCaseAndGivesTheListedName)
{
    TempTree t(L"find");
    t.dir(L"P/Sub");
    t.file(L"P/file");
    std::wstring out = L"stale";

    ::SetLastError(0xDEAD);
    EXPECT_TRUE(FindSubfolder(t.path(L"P"), L"SUB", out));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(out, t.path(L"P/Sub"));

    EXPECT_TRUE(FindSubfolder(t.path(L"P") + L"\\", L"sub", out));
    EXPECT_EQ(out, t.path(L"P/Sub"));

    // A file of that name is no sub-folder; "." and ".." never match.
    for (const wchar_t* name : {L"file", L".", L"..", L"none"}) {
        out = L"stale";
        ::SetLastError(0xDEAD);
        EXPECT_FALSE(FindSubfolder(t.path(L"P"), name, out));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_EQ(out, L"");
    }

    out = L"stale";
    ::SetLastError(0xDEAD);
    EXPECT_FALSE(FindSubfolder(t.path(L"P"), L"", out));
    EXPECT_EQ(::GetLastError(), 0u);
    EXPECT_EQ(out, L"");
    EXPECT_FALSE(FindSubfolder(t.path(L"P"), nullptr, out));
    EXPECT_EQ(::GetLastError(), 0u);

    ::SetLastError(0xDEAD);
    EXPECT_FALSE(FindSubfolder(t.path(L"Missing"), L"Sub", out));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(out, L"");
}

TEST(VsRule, OptionOnPlansTheWholeVsFolder)
{
    TempTree t(L"vs");
    t.files({L"Sol/App.sln", L"Sol/.vs/App/v17/.suo", L"Sol/.vs/Other/v17/.suo"});
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_HIDDEN));

    Walk w = CollectVs(t.path(L"Sol"), L"App", TRUE);
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(w.error, 0u);
    EXPECT_EQ(Relative(w.plan, t), (Items{{L"Sol\\.vs", DEL_TYPE_FOLDER_TREE}}));
}

TEST(VsRule, OptionOffKeepsEverySuoWithItsChainOfFolders)
{
    TempTree t(L"vs");
    t.files({L"Sol/App.sln", L"Sol/.vs/App/v17/.suo", L"Sol/.vs/App/v17/Browse.VC.db",
             L"Sol/.vs/App/v17/ipch/AutoPCH/a1/x.ipch",
             L"Sol/.vs/App/v17/old.suo",   // only a file named exactly ".suo" is kept
             L"Sol/.vs/App/FileContentIndex/f.vsidx", L"Sol/.vs/App/top.json", L"Sol/.vs/ProjectSettings.json",
             L"Sol/.vs/Other/v16/.SUO", L"Sol/.vs/Stale/v15/x.db"});
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_HIDDEN));

    Walk w = CollectVs(t.path(L"Sol"), L"App", FALSE);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.error, 0u);
    EXPECT_EQ(Sorted(PostOrder(Relative(w.plan, t))), Sorted({
        {L"Sol\\.vs\\App\\v17\\Browse.VC.db", DEL_TYPE_FILE},
        {L"Sol\\.vs\\App\\v17\\old.suo", DEL_TYPE_FILE},
        {L"Sol\\.vs\\App\\v17\\ipch\\AutoPCH\\a1", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App\\v17\\ipch\\AutoPCH", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App\\v17\\ipch", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App\\FileContentIndex", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App\\top.json", DEL_TYPE_FILE},
        {L"Sol\\.vs\\ProjectSettings.json", DEL_TYPE_FILE},
        {L"Sol\\.vs\\Stale\\v15", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\Stale", DEL_TYPE_FOLDER_NO_RECURSION},
    }));
}

TEST(VsRule, VsMustBelongToTheSolutionAndBeHidden)
{
    TempTree t(L"vs");
    t.files({L"Sol/App.slnx", L"Sol/.vs/Other/v17/x.db"});

    // Only another solution's state: nothing.
    Walk other = CollectVs(t.path(L"Sol"), L"App", TRUE);
    EXPECT_TRUE(other.ok);
    EXPECT_EQ(other.error, 0u);
    EXPECT_TRUE(other.plan.empty());

    // For App.slnx the IDE may name the folder App.slnx; App, if present, wins
    // with the same outcome.
    t.dir(L"Sol/.vs/App.slnx");
    Walk slnx = CollectVs(t.path(L"Sol"), L"App", TRUE);
    EXPECT_EQ(Relative(slnx.plan, t), (Items{{L"Sol\\.vs", DEL_TYPE_FOLDER_TREE}}));
    t.dir(L"Sol/.vs/app");
    Walk both = CollectVs(t.path(L"Sol"), L"App", TRUE);
    EXPECT_EQ(Relative(both.plan, t), (Items{{L"Sol\\.vs", DEL_TYPE_FOLDER_TREE}}));

    // Without the hidden attribute .vs is not the IDE's. Wine reports every
    // dot-named folder as hidden whatever is set, so the outcome must follow
    // the attribute the system reports.
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_NORMAL));
    const DWORD attributes = ::GetFileAttributesW(t.path(L"Sol/.vs").c_str());
    Walk plain = CollectVs(t.path(L"Sol"), L"App", TRUE);
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.plan.empty(), (attributes & FILE_ATTRIBUTE_HIDDEN) == 0);

    // No .vs at all.
    Walk none = CollectVs(t.path(L"Sol/.vs/Other"), L"App", TRUE);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.error, 0u);
    EXPECT_TRUE(none.plan.empty());
}

TEST(VsRule, OptionOffPlansFoldersWithoutSuoWholeAfterTheirSubFolders)
{
    TempTree t(L"vswhole");
    t.files({L"Sol/App.sln", L"Sol/.vs/App/x.db"});
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_NE(::GetFileAttributesW(t.path(L"Sol/.vs").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    Walk w = CollectVs(t.path(L"Sol"), L"App", FALSE);
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(Relative(w.plan, t), (Items{{L"Sol\\.vs\\App", DEL_TYPE_FOLDER_NO_RECURSION},
                                          {L"Sol\\.vs", DEL_TYPE_FOLDER_NO_RECURSION}}));
}

TEST(VsRule, MissingArgumentsFailWithInvalidBlock)
{
    TempTree t(L"vsarg");
    t.file(L"Sol/.sln");
    t.dir(L"Sol/.vs/App");
    for (auto [folder, base] : {std::pair{t.path(L"Sol"), std::wstring()}, std::pair{std::wstring(), std::wstring(L"App")}}) {
        Walk w = CollectVs(folder, base, TRUE);
        EXPECT_FALSE(w.ok);
        EXPECT_EQ(w.error, static_cast<DWORD>(ERROR_INVALID_BLOCK));
        EXPECT_TRUE(w.plan.empty());
    }
}

TEST(VsRule, WalkSkipsLinksAndPlansUnlistableFoldersWhole)
{
    TempTree t(L"vslink");
    t.files({L"Outside/.suo", L"Outside/keep.db", L"Sol/App.sln", L"Sol/.vs/App/v17/x.db"});
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/.vs/App/v17/link"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"Sol/.vs/App/star*")));

    Walk w = CollectVs(t.path(L"Sol"), L"App", FALSE);
    ASSERT_TRUE(w.ok);
    for (const ITEM_2_DELETE& item : w.plan)
        EXPECT_EQ(item.strPath.find(L"Outside"), std::wstring::npos) << testutil::Narrow(item.strPath);
    // The link's .suo lies outside .vs: it neither keeps nor is planned, so the
    // folders holding the link can still go whole (the link goes, not its target).
    EXPECT_EQ(Sorted(PostOrder(Relative(w.plan, t))), Sorted({
        {L"Sol\\.vs\\App\\v17", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App\\star*", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs\\App", DEL_TYPE_FOLDER_NO_RECURSION},
        {L"Sol\\.vs", DEL_TYPE_FOLDER_NO_RECURSION},
    }));

    // A .vs that is itself a link is left alone.
    TempTree u(L"vslink2");
    u.files({L"Target/App/.suo", L"Sol/App.sln"});
    ASSERT_TRUE(testutil::MakeDirSymlink(u.path(L"Sol/.vs"), u.path(L"Target")));
    for (BOOL option : {FALSE, TRUE}) {
        Walk linked = CollectVs(u.path(L"Sol"), L"App", option);
        EXPECT_TRUE(linked.ok);
        EXPECT_TRUE(linked.plan.empty());
    }
}

TEST(CollectArtifactsClean, LinkTargetsSurviveCleaningTheFoldersThatHoldTheLinks)
{
    TempTree t(L"linkclean");
    t.files({L"Outside/precious.cpp", L"Outside/build.log", L"Outside/.suo", L"Sol/App.sln", L"Sol/main.cpp",
             L"Sol/Debug/App.exe", L"Sol/obj/x.obj", L"Sol/.vs/App/v17/x.db"});
    ASSERT_TRUE(::SetFileAttributesW(t.path(L"Sol/.vs").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/Debug/link"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/obj/link"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/.vs/App/v17/link"), t.path(L"Outside")));
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"Sol/src"), t.path(L"Outside")));

    CleanupFailure failure = CleanupFailure::Planning;
    ASSERT_TRUE(CleanSolutionFolder(L"App", FALSE, t.path(L"Sol"), nullptr, &failure)) << ::GetLastError();
    EXPECT_EQ(failure, CleanupFailure::None);

    EXPECT_EQ(t.listing(), (std::vector<std::wstring>{
        L"Outside\\", L"Outside\\.suo", L"Outside\\build.log", L"Outside\\precious.cpp",
        L"Sol\\", L"Sol\\App.sln", L"Sol\\main.cpp", L"Sol\\src\\",
    }));
    EXPECT_TRUE(testutil::InTrash(t.path(L"Sol/Debug")));
    EXPECT_TRUE(testutil::InTrash(t.path(L"Sol/obj")));
}
