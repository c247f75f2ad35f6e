// What git tracks stays: repositories made by the real git in the test trees,
// in every shape of index git writes, cleaned into the real trash.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "engine/records/Beep.h"
#include "engine/git/GitIndex.h"
#include "engine/planning/Planner.h"
#include "engine/running/Transaction.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/Sha.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::Narrow;
using testutil::Paths;
using testutil::TempTree;

namespace {

// The repository R: a solution whose team committed some build output on
// purpose, matched by .gitignore and added all the same.
const Paths kCommitted = {L"App/App.vcxproj.user", L"lib/Debug/vendor.dll", L"App/obj/x64/deep/state.cache",
                          L"tools/bin/Release/tool.cfg", L"CHANGES.log"};
// Build output beside it, made after the repository.
const Paths kUntracked = {L"App/Other.vcxproj.user", L"lib/Debug/build.obj", L"App/obj/x64/deep/junk.obj",
                          L"App/obj/x64/App.obj", L"tools/bin/Release/tool.ilk", L"build.log"};

void MakeCommittedFiles(const TempTree& t)
{
    t.file(L"R/.gitignore", "*.log\n*.user\nDebug/\nobj/\nRelease/\n");
    for (const wchar_t* source : {L"App.sln", L"App/App.vcxproj", L"App/main.cpp"}) t.file(L"R/Sol/" + std::wstring(source), "source");
    for (const std::wstring& file : kCommitted) t.file(L"R/Sol/" + file, "committed");
}

// Makes R a repository (with `init`) of the committed files, then runs `more` in it.
testutil::SHELL_RESULT MakeRepository(const TempTree& t, const std::string& init, const std::string& more)
{
    std::string forced;
    for (const std::wstring& file : kCommitted) forced += " 'Sol/" + Narrow(file) + "'";
    return testutil::RunShell(t.path(L"R"), init + "\ngit add .gitignore Sol\ngit add -f" + forced +
                                                "\ngit commit -qm base\n" + more);
}

Paths Join(Paths a, const Paths& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Paths Without(Paths a, const Paths& b)
{
    std::erase_if(a, [&](const std::wstring& p) { return std::find(b.begin(), b.end(), p) != b.end(); });
    return a;
}

// Those of `rels` (below `folder` of the tree) that exist / that do not.
Paths Present(const TempTree& t, const std::wstring& folder, const Paths& rels, bool present = true)
{
    Paths out;
    for (const std::wstring& r : rels)
        if (t.exists(folder + L"/" + r) == present) out.push_back(r);
    return out;
}

// Every deletion git sees in the working tree of `folder` and its submodules ("XY path" lines).
std::set<std::string> Deletions(const std::wstring& folder)
{
    const testutil::SHELL_RESULT status = testutil::RunShell(
        folder, "cd \"$(git rev-parse --show-toplevel)\"\ngit status --porcelain\n"
                "git submodule foreach --quiet --recursive 'git status --porcelain'\n");
    EXPECT_EQ(status.exitCode, 0) << status.output;
    std::set<std::string> deleted;
    size_t start = 0;
    for (size_t end; (end = status.output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = status.output.substr(start, end - start);
        if (line.size() > 2 && (line[0] == 'D' || line[1] == 'D')) deleted.insert(line);
    }
    return deleted;
}

// The paths of the index as the reader gives them, and as git lists them.
std::set<std::string> ReadNames(const GIT_INDEX& index)
{
    std::set<std::string> names;
    for (const GIT_INDEX_ENTRY& e : index.entries) names.insert(std::string(index.Name(e)));
    return names;
}
// True when the reader's names are git's listing, but for the directory
// entries of a sparse index, which git lists as what lies below them.
bool SameEntries(const std::set<std::string>& read, const std::set<std::string>& listed)
{
    auto coveredBy = [&](const std::string& path) {
        for (const std::string& name : read)
            if (name.ends_with('/') && path.starts_with(name)) return true;
        return false;
    };
    for (const std::string& path : listed)
        if (!read.count(path) && !coveredBy(path)) return false;
    for (const std::string& name : read)
        if (!listed.count(name) && !(name.ends_with('/') && std::any_of(listed.begin(), listed.end(), [&](const std::string& p) {
                                         return p.starts_with(name);
                                     })))
            return false;
    return true;
}

std::set<std::string> GitListing(const std::wstring& folder)
{
    const testutil::SHELL_RESULT listing =
        testutil::RunShell(folder, "cd \"$(git rev-parse --show-toplevel)\"\ngit ls-files --sparse -z\n");
    EXPECT_EQ(listing.exitCode, 0) << listing.output;
    std::set<std::string> names;
    for (size_t start = 0, end; (end = listing.output.find('\0', start)) != std::string::npos; start = end + 1)
        names.insert(listing.output.substr(start, end - start));
    return names;
}

void NoBeep(UINT) {}

} // namespace

TEST(GitTracked, EveryShapeOfIndexKeepsWhatGitTracks)
{
    struct Case {
        const char* what;
        std::string more = "";                     // run in R after the first commit
        std::string init = "git init -q";
        std::wstring solution = L"R/Sol";          // the folder cleaned
        std::wstring index = L"R/.git/index";
        size_t hashBytes = kGitSha1Bytes;
        Paths untracked = kUntracked;              // made in the solution folder afterwards
        Paths kept = kCommitted;                   // relative to the solution folder
        Paths gone = kUntracked;
        int trackedKept = 5;                       // as the log says
        uint32_t version = 2;
        bool split = false, sparse = false;
        std::function<void(std::string&)> patch = nullptr;   // changes the index's bytes for the clean-up alone
    };
    const std::string split = "git config splitIndex.maxPercentChange 100\ngit update-index --split-index\n"
                              "echo changed >>Sol/CHANGES.log\ngit add -f Sol/CHANGES.log\n"
                              "git rm -q --cached Sol/App/obj/x64/deep/state.cache\n"
                              "echo new >Sol/lib/Debug/new.dll\ngit add -f Sol/lib/Debug/new.dll\n";
    const Paths splitKept = Join(Without(kCommitted, {L"App/obj/x64/deep/state.cache"}), {L"lib/Debug/new.dll"});
    const Paths splitGone = Join(kUntracked, {L"App/obj/x64/deep/state.cache"});
    const Paths sparseUntracked = Join(Without(kUntracked, {L"tools/bin/Release/tool.ilk"}), {L"lib/Debug/vendor.dll"});
    const Paths inCone = {L"App/App.vcxproj.user", L"App/obj/x64/deep/state.cache", L"CHANGES.log"};
    const Paths renamed = Join(Without(kCommitted, {L"lib/Debug/vendor.dll"}), {L"lib/Debug/VENDOR.dll"});
    const std::string rename = "mv Sol/lib/Debug/vendor.dll Sol/lib/Debug/VENDOR.dll\n";
    const Case cases[] = {
        {.what = "version 2", .more = "git update-index --index-version 2\n"},
        {.what = "version 3: skip-worktree and assume-unchanged entries",
         .more = "git update-index --skip-worktree Sol/lib/Debug/vendor.dll\n"
                 "git update-index --assume-unchanged Sol/App/App.vcxproj.user\n",
         .version = 3},
        // A path long enough that the next one strips more than 127 bytes of it.
        {.what = "version 4: prefix-compressed paths",
         .more = "git add -f Sol/App/obj/x64/deep/" + std::string(140, 'x') + ".cache\ngit update-index --index-version 4\n",
         .kept = Join(kCommitted, {L"App/obj/x64/deep/" + std::wstring(140, L'x') + L".cache"}), .trackedKept = 6,
         .version = 4},
        {.what = "split index", .more = split, .kept = splitKept, .gone = splitGone, .split = true},
        {.what = "split index of version 4", .more = "git update-index --index-version 4\n" + split,
         .kept = splitKept, .gone = splitGone, .version = 4, .split = true},
        // Sol/lib and Sol/tools become directory entries; a folder of lib made
        // again on disk is kept whole, whatever it holds.
        {.what = "sparse index",
         .more = "git sparse-checkout init --cone --sparse-index\ngit sparse-checkout set Sol/App\n",
         .untracked = sparseUntracked, .kept = Join(inCone, {L"lib/Debug/vendor.dll", L"lib/Debug/build.obj"}),
         .gone = Without(sparseUntracked, {L"lib/Debug/vendor.dll", L"lib/Debug/build.obj"}), .version = 3,
         .sparse = true},
        {.what = "worktree", .more = "git worktree add -q ../W\n", .solution = L"W/Sol",
         .index = L"R/.git/worktrees/W/index"},
        // The submodule's own index answers for its folder; its .git file stays with it.
        {.what = "submodule",
         .more = "mkdir ../Lib\ncd ../Lib\ngit init -q\nmkdir Debug\necho v >Debug/libvendor.dll\necho r >readme.txt\n"
                 "git add -A\ngit commit -qm lib\ncd ../R\n"
                 "git -c protocol.file.allow=always submodule add -q \"$PWD/../Lib\" Sol/ext/Lib\ngit commit -qm sub\n",
         .untracked = Join(kUntracked, {L"ext/Lib/Debug/junk.obj"}),
         .kept = Join(kCommitted, {L"ext/Lib/Debug/libvendor.dll", L"ext/Lib/.git", L"ext/Lib/readme.txt"}),
         .gone = Join(kUntracked, {L"ext/Lib/Debug/junk.obj"}), .trackedKept = 6},
        // A repository of its own inside a folder planned whole, which R ignores:
        // its files are its index's, and its .git stays (none of it counted as tracked).
        {.what = "a clone inside obj",
         .more = "mkdir -p Sol/App/obj/clone\ncd Sol/App/obj/clone\ngit init -q\necho k >kept.txt\ngit add kept.txt\n"
                 "git commit -qm clone\n",
         .untracked = Join(kUntracked, {L"App/obj/clone/junk.obj"}),
         .kept = Join(kCommitted, {L"App/obj/clone/kept.txt", L"App/obj/clone/.git/HEAD"}),
         .gone = Join(kUntracked, {L"App/obj/clone/junk.obj"}), .trackedKept = 6},
        {.what = "SHA-256 repository", .init = "git init -q --object-format=sha256", .hashBytes = kGitSha256Bytes},
        // As git writes it with index.skipHash: no checksum, only zeros.
        {.what = "no checksum",
         .patch = [](std::string& bytes) { std::fill(bytes.end() - kGitSha1Bytes, bytes.end(), '\0'); }},
        // Git on Windows finds the file whatever the case of its name; told that
        // the working tree tells case apart, the other name is untracked.
        {.what = "core.ignorecase unset, the name in another case", .more = rename, .kept = renamed},
        // A name beyond ASCII is folded as Windows folds the names it lists.
        {.what = "a name beyond ASCII in another case",
         .more = "printf v >Sol/lib/Debug/\xc3\xbc" "ber.dll\ngit add -f Sol/lib/Debug/\xc3\xbc" "ber.dll\n"
                 "git commit -qm u\nmv Sol/lib/Debug/\xc3\xbc" "ber.dll Sol/lib/Debug/\xc3\x9c" "ber.dll\n",
         .kept = Join(kCommitted, {L"lib/Debug/\u00dcber.dll"}), .trackedKept = 6},
        {.what = "core.ignorecase false, the name in another case",
         .more = "git config core.ignorecase false\n" + rename, .kept = Without(kCommitted, {L"lib/Debug/vendor.dll"}),
         .gone = Join(kUntracked, {L"lib/Debug/VENDOR.dll"}), .trackedKept = 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree t(L"git");
        MakeCommittedFiles(t);
        t.file(L"R/Sol/App/obj/x64/deep/" + std::wstring(140, L'x') + L".cache", "committed in one case");
        const testutil::SHELL_RESULT made = MakeRepository(t, c.init, c.more);
        ASSERT_TRUE(made.finished);
        ASSERT_EQ(made.exitCode, 0) << made.output;
        // Git is asked before the build output is there: files in a sparse
        // index's folder make git's next command expand that folder.
        const std::set<std::string> listed = GitListing(t.path(c.solution));
        const std::set<std::string> deletedBefore = Deletions(t.path(c.solution));
        for (const std::wstring& file : c.untracked) t.file(c.solution + L"/" + file, "build output");

        // The reader finds what git lists, in the shape git wrote.
        GIT_INDEX index;
        std::wstring failed;
        ASSERT_TRUE(ReadGitIndex(t.path(c.index), c.hashBytes, index, failed)) << ::GetLastError();
        EXPECT_EQ(index.version, c.version);
        EXPECT_EQ(index.split, c.split);
        EXPECT_EQ(index.sparse, c.sparse);
        EXPECT_TRUE(SameEntries(ReadNames(index), listed));
        const std::string original = testutil::ReadBytes(t.path(c.index));
        if (c.patch) {
            std::string patched = original;
            c.patch(patched);
            ASSERT_TRUE(testutil::WriteBytes(t.path(c.index), patched));
        }
        testutil::FakeHost host;
        host.Run({t.path(c.solution)});
        if (c.patch) {
            ASSERT_TRUE(testutil::WriteBytes(t.path(c.index), original));
        }

        EXPECT_TRUE(host.EndedWithoutErrors()) << Narrow(host.logText);
        EXPECT_EQ(Present(t, c.solution, c.kept, false), Paths{});
        EXPECT_EQ(Present(t, c.solution, c.gone), Paths{});
        EXPECT_GT(testutil::TrashEntriesUnder(t.path(c.solution)), 0u);
        const std::wstring keptLine = L"Kept " + std::to_wstring(c.trackedKept) + L" files that git tracks.";
        const Paths lines = host.LogLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), keptLine), 1) << Narrow(host.logText);
        // Git sees no deletion that it did not see before.
        EXPECT_EQ(Deletions(t.path(c.solution)), deletedBefore);
    }
}

TEST(GitTracked, AnIndexThatCannotBeReadStopsTheFolderUntouched)
{
    struct Case {
        const char* what;
        std::string more;             // run in R after the first commit
        std::function<void(const TempTree&, std::string&)> patch;   // R's index, in bytes
        DWORD error;
        std::wstring named;           // the file the log names
        std::wstring solution = L"R/Sol";
    };
    auto requiring = [](const TempTree&, std::string& bytes) {
        // An extension whose name says it is required, and a checksum that fits.
        bytes.erase(bytes.size() - kGitSha1Bytes);
        bytes += std::string("abcd\0\0\0\0", 8);
        const Sha1Digest digest = Sha1(bytes.data(), bytes.size());
        bytes.append(digest.begin(), digest.end());
    };
    const Case cases[] = {
        // The first entry's modification time: the structure holds, the checksum does not.
        {"one byte changed", "", [](const TempTree&, std::string& b) { b[20] ^= 0x20; }, kErrorGitIndexChecksum,
         L"R/.git/index"},
        {"cut off", "", [](const TempTree&, std::string& b) { b.resize(b.size() / 2); }, kErrorGitIndexCutOff, L"R/.git/index"},
        {"version 5", "", [](const TempTree&, std::string& b) { b[7] = 5; }, kErrorGitIndexVersion, L"R/.git/index"},
        {"a required extension not known", "", requiring, kErrorGitIndexExtension, L"R/.git/index"},
        {"a split index without its shared index", "git update-index --split-index\n",
         [](const TempTree& t, std::string&) {
             for (const std::wstring& name : t.listing())
                 if (name.find(L"sharedindex.") != std::wstring::npos) DeleteFileW(t.path(name).c_str());
         },
         kErrorGitSharedIndexMissing, L""},
        {"a worktree whose git folder is gone", "git worktree add -q ../W\nrm -rf .git/worktrees/W\n", nullptr,
         kErrorGitLinkBroken, L"W/.git", L"W/Sol"},
    };
    BeepHook previous = SetEngineBeepHook(&NoBeep);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree t(L"gitbad");
        MakeCommittedFiles(t);
        const testutil::SHELL_RESULT made = MakeRepository(t, "git init -q", c.more);
        ASSERT_EQ(made.exitCode, 0) << made.output;
        for (const std::wstring& file : kUntracked) t.file(c.solution + L"/" + file, "build output");
        if (c.patch) {
            std::string bytes = testutil::ReadBytes(t.path(L"R/.git/index"));
            c.patch(t, bytes);
            ASSERT_TRUE(testutil::WriteBytes(t.path(L"R/.git/index"), bytes));
        }
        const std::string before = testutil::SnapshotTree(t.root());

        testutil::FakeHost host;
        host.Run({t.path(c.solution)});
        EXPECT_EQ(testutil::SnapshotTree(t.root()), before);
        EXPECT_EQ(testutil::TrashEntriesUnder(t.root()), 0u);
        EXPECT_FALSE(host.EndedWithoutErrors());
        // The line names the file at fault and why; the folder's own line says nothing changed.
        const std::wstring line = FormatText(L"ERROR: (%d) Cannot read git index: \"", static_cast<int>(c.error));
        const std::wstring& log = host.logText;
        const size_t at = log.find(line);
        ASSERT_NE(at, std::wstring::npos) << Narrow(log);
        const std::wstring named = log.substr(at + line.size(), log.find(L'"', at + line.size()) - at - line.size());
        if (!c.named.empty()) EXPECT_EQ(named, t.path(c.named));
        else EXPECT_NE(named.find(L"sharedindex."), std::wstring::npos) << Narrow(named);
        EXPECT_NE(log.find(GetErrorText(c.error)), std::wstring::npos);
        EXPECT_NE(log.find(L"--include-tracked"), std::wstring::npos);
        EXPECT_NE(log.find(FormatText(L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied.",
                                      static_cast<int>(kErrorUnreadableGitIndex), t.path(c.solution).c_str())),
                  std::wstring::npos)
            << Narrow(log);
    }
    SetEngineBeepHook(previous);
}

TEST(GitTracked, AFolderOutsideEveryRepositoryIsCleanedAsWithoutTheCheck)
{
    // The test trees lie in the checkout, itself a working tree: this one lies elsewhere.
    const std::wstring root = FormatText(L"Z:\\tmp\\mopwright-git-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    struct Remove {
        std::wstring path;
        ~Remove() { testutil::RemoveTree(path); }
    } remove{root};
    const testutil::SHELL_RESULT outside = testutil::RunShell(root, "git rev-parse --is-inside-work-tree\n");
    ASSERT_TRUE(outside.finished);
    ASSERT_NE(outside.exitCode, 0) << "a repository holds " << Narrow(root);
    auto make = [&](const std::wstring& rel) {
        std::wstring path = root + L"\\Sol";
        CreateDirectoryW(path.c_str(), nullptr);
        for (const std::wstring& name : SplitTokens(rel, L"/")) {
            CreateDirectoryW(path.c_str(), nullptr);
            path += L"\\" + name;
        }
        ASSERT_TRUE(testutil::WriteBytes(path, "output"));
    };
    for (const std::wstring& file : Join(Join(kCommitted, kUntracked), {L"App.sln"})) make(file);

    // The same plan, item by item, as with the check switched off.
    CLEANUP_OPTIONS withoutCheck;
    withoutCheck.includeTracked = true;
    const CLEANUP_PLAN checked = PlanSolutionFolder(root + L"\\Sol", {});
    const CLEANUP_PLAN unchecked = PlanSolutionFolder(root + L"\\Sol", withoutCheck);
    ASSERT_EQ(checked.status, FolderStatus::Planned);
    EXPECT_FALSE(checked.inWorkTree);
    EXPECT_FALSE(checked.protectedList->HasTracked());
    const CLEANUP_FORECAST a = ForecastCleanup(checked), b = ForecastCleanup(unchecked);
    ASSERT_EQ(a.items.size(), b.items.size());
    for (size_t i = 0; i < a.items.size(); ++i) EXPECT_EQ(a.items[i].path, b.items[i].path);
    EXPECT_TRUE(a.spared.empty());

    // Whatever a team committed elsewhere, here it is build output like the rest.
    ASSERT_TRUE(ApplyCleanupPlan(checked, nullptr));
    for (std::wstring file : Join(kCommitted, kUntracked)) {
        std::replace(file.begin(), file.end(), L'/', L'\\');
        EXPECT_EQ(GetFileAttributesW((root + L"\\Sol\\" + file).c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(file);
    }
    EXPECT_GT(testutil::TrashEntriesUnder(root), 0u);
}
