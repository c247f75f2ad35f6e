// mopwright-bench: generates a synthetic solution tree and measures the engine
// on it: planning against a bare directory walk, listings per folder, shell
// calls per planned item, end-to-end clean speed and planning memory; with
// the tree in a git repository, planning with its index against planning
// without it, and the reading of a large index.
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/Counters.h"
#include "engine/running/Executor.h"
#include "engine/git/GitIndex.h"
#include "engine/git/GitTracked.h"
#include "engine/planning/Planner.h"
#include "engine/recycling/Recycler.h"
#include "engine/undo/Restore.h"
#include "engine/planning/Collectors.h"
#include "engine/running/Transaction.h"
#include "support/ComInit.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

// ---- allocation accounting (current and peak bytes of the whole program) ----
// Atomic: planning allocates on the walk's thread and on the lister's.
namespace {
std::atomic<size_t> g_liveBytes{0};
std::atomic<size_t> g_peakBytes{0};
struct alignas(16) ALLOC_HEADER { size_t size; };
}

void* operator new(size_t size)
{
    auto* h = static_cast<ALLOC_HEADER*>(std::malloc(size + sizeof(ALLOC_HEADER)));
    if (!h) throw std::bad_alloc();
    h->size = size;
    const size_t live = g_liveBytes += size;
    size_t peak = g_peakBytes;
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {}
    return h + 1;
}
void operator delete(void* p) noexcept
{
    if (!p) return;
    auto* h = static_cast<ALLOC_HEADER*>(p) - 1;
    g_liveBytes -= h->size;
    std::free(h);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}
LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// ---- the synthetic tree ----
struct TREE_COUNTS {
    unsigned long long files = 0;
    unsigned long long folders = 0;
};

class CGenerator {
public:
    explicit CGenerator(TREE_COUNTS& counts) : m_counts(counts) {}
    void Dir(const std::wstring& p)
    {
        if (CreateDirectoryW(p.c_str(), nullptr)) ++m_counts.folders;
    }
    void File(const std::wstring& p, DWORD bytes)
    {
        UniqueFile f(CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f) return;
        ++m_counts.files;
        static const std::string fill(64 * 1024, 'b');
        DWORD written = 0;
        if (bytes) WriteFile(f.get(), fill.data(), bytes < fill.size() ? bytes : DWORD(fill.size()), &written, nullptr);
    }

private:
    TREE_COUNTS& m_counts;
};

// A C++ project: sources, headers, x64\Debug and x64\Release output with .tlog folders.
void MakeCppProject(CGenerator& g, const std::wstring& dir, const std::wstring& name, int sources)
{
    g.Dir(dir);
    g.File(dir + L"\\" + name + L".vcxproj", 4000);
    g.File(dir + L"\\" + name + L".vcxproj.filters", 1200);
    g.File(dir + L"\\" + name + L".vcxproj.user", 300);
    g.Dir(dir + L"\\src");
    g.Dir(dir + L"\\include");
    for (int i = 0; i < sources; ++i) g.File(dir + L"\\src\\unit" + std::to_wstring(i) + L".cpp", 2000);
    for (int i = 0; i < sources / 4; ++i) g.File(dir + L"\\include\\unit" + std::to_wstring(i) + L".h", 600);
    g.Dir(dir + L"\\x64");
    for (const wchar_t* config : {L"Debug", L"Release"}) {
        std::wstring out = dir + L"\\x64\\" + config;
        g.Dir(out);
        for (int i = 0; i < sources; ++i) g.File(out + L"\\unit" + std::to_wstring(i) + L".obj", 9000);
        g.File(out + L"\\" + name + L".lib", 20000);
        g.File(out + L"\\" + name + L".pdb", 30000);
        g.File(out + L"\\vc143.pdb", 10000);
        g.File(out + L"\\" + name + L".log", 500);
        std::wstring tlog = out + L"\\" + name + L".tlog";
        g.Dir(tlog);
        for (const wchar_t* t : {L"CL.command.1.tlog", L"CL.read.1.tlog", L"CL.write.1.tlog", L"Lib-link.read.1.tlog",
                                 L"Lib-link.write.1.tlog", L"unsuccessfulbuild"})
            g.File(tlog + L"\\" + t, 800);
    }
}

// A .NET project: sources, bin\Debug and obj with its intermediate files.
void MakeDotNetProject(CGenerator& g, const std::wstring& dir, const std::wstring& name, int sources)
{
    g.Dir(dir);
    g.File(dir + L"\\" + name + L".csproj", 1500);
    g.File(dir + L"\\" + name + L".csproj.user", 200);
    for (int i = 0; i < sources; ++i) g.File(dir + L"\\Type" + std::to_wstring(i) + L".cs", 1800);
    g.Dir(dir + L"\\bin");
    g.Dir(dir + L"\\bin\\Debug");
    std::wstring bin = dir + L"\\bin\\Debug\\net8.0";
    g.Dir(bin);
    for (int i = 0; i < sources / 3; ++i) g.File(bin + L"\\Dependency" + std::to_wstring(i) + L".dll", 40000);
    g.File(bin + L"\\" + name + L".dll", 30000);
    g.File(bin + L"\\" + name + L".pdb", 20000);
    g.Dir(dir + L"\\obj");
    g.Dir(dir + L"\\obj\\Debug");
    std::wstring obj = dir + L"\\obj\\Debug\\net8.0";
    g.Dir(obj);
    for (int i = 0; i < sources; ++i) g.File(obj + L"\\Type" + std::to_wstring(i) + L".g.cs", 700);
    g.File(obj + L"\\" + name + L".dll", 30000);
    g.File(dir + L"\\obj\\project.assets.json", 50000);
}

// The lines of project `p`'s do-not-delete file: the few entries every run has
// (every 50th project), and its share of `protectedLines` lines naming source
// files, which no clean-up removes anyway: only the list's size changes.
std::string ProtectedLines(int p, int projects, int sources, int protectedLines)
{
    std::string text;
    if (p % 50 == 0) text = (p % 4 == 3) ? "obj\\project.assets.json\r\n" : "x64\\Release\\unit0.obj\r\nx64\\Debug\r\n";
    const int share = protectedLines / projects + (p < protectedLines % projects ? 1 : 0);
    for (int k = 0; k < share && k < sources; ++k)
        text += (p % 4 == 3 ? "Type" + std::to_string(k) + ".cs" : "src\\unit" + std::to_string(k) + ".cpp") + "\r\n";
    return text;
}

void Generate(const std::wstring& root, int projects, int sources, int protectedLines, TREE_COUNTS& counts)
{
    CGenerator g(counts);
    g.Dir(root);
    g.File(root + L"\\Bench.sln", 20000);
    g.File(root + L"\\README.md", 1000);
    // Solution-level output and the hidden .vs folder.
    g.Dir(root + L"\\x64");
    g.Dir(root + L"\\x64\\Release");
    for (const wchar_t* f : {L"Bench.exe", L"Bench.pdb", L"Bench.ilk", L"Bench.exp", L"Bench.iobj"})
        g.File(root + L"\\x64\\Release\\" + f, 50000);
    std::wstring vs = root + L"\\.vs";
    g.Dir(vs);
    SetFileAttributesW(vs.c_str(), FILE_ATTRIBUTE_HIDDEN);
    g.Dir(vs + L"\\Bench");
    g.Dir(vs + L"\\Bench\\v17");
    g.File(vs + L"\\Bench\\v17\\.suo", 60000);
    g.File(vs + L"\\Bench\\v17\\Browse.VC.db", 500000);
    g.Dir(vs + L"\\Bench\\v17\\ipch");
    for (int i = 0; i < 20; ++i) g.File(vs + L"\\Bench\\v17\\ipch\\pch" + std::to_wstring(i) + L".ipch", 100000);
    for (int p = 0; p < projects; ++p) {
        std::wstring name = L"Project" + std::to_wstring(p);
        if (p % 4 == 3) MakeDotNetProject(g, root + L"\\" + name, name, sources);
        else MakeCppProject(g, root + L"\\" + name, name, sources);
        const std::string text = ProtectedLines(p, projects, sources, protectedLines);
        if (!text.empty()) {
            std::wstring keep = root + L"\\" + name + L"\\Mopwright (do not delete).txt";
            UniqueFile f(CreateFileW(keep.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD w = 0;
            if (f) WriteFile(f.get(), text.data(), DWORD(text.size()), &w, nullptr);
            ++counts.files;
        }
    }
}

// ---- the floor: a bare FindFirstFileW walk ----
void BareWalk(const std::wstring& folder, TREE_COUNTS& counts)
{
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (d.cFileName[0] == L'.' && (!d.cFileName[1] || (d.cFileName[1] == L'.' && !d.cFileName[2]))) continue;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ++counts.folders;
            if (!(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) BareWalk(folder + L"\\" + d.cFileName, counts);
        } else {
            ++counts.files;
        }
    } while (FindNextFileW(h, &d));
    FindClose(h);
}

void RemoveTree(const std::wstring& path)
{
    std::vector<std::wstring> dirs;
    const LISTING_END end = ForEachEntry(path, [&](const WIN32_FIND_DATAW& d) {
        std::wstring full = JoinPath(path, d.cFileName);
        if (DirListing::IsDirectory(d) && !DirListing::IsLink(d)) dirs.push_back(full);
        else DeleteFileW(full.c_str());
    });
    if (end.Failed() && end.opened) fwprintf(stderr, L"could not list all of %ls: %lu\n", path.c_str(), end.error);
    for (auto& dir : dirs) RemoveTree(dir);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

std::wstring Arg(int argc, wchar_t** argv, const wchar_t* name, const std::wstring& fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return argv[i + 1];
    return fallback;
}

bool Flag(int argc, wchar_t** argv, const wchar_t* name)
{
    for (int i = 1; i < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return true;
    return false;
}

// The reading of one index file and the building of its lookup sets, as
// planning does it for a working tree: best of `repeats`.
struct INDEX_READ {
    bool ok = false;
    size_t entries = 0;
    double seconds = 1e9;
    size_t bytesPerEntry = 0;   // of the lookup sets
};
INDEX_READ TimeIndexRead(const std::wstring& indexPath, int repeats)
{
    INDEX_READ result;
    GIT_WORKTREE worktree;
    worktree.gitDir = worktree.commonDir = GetParentPath(indexPath);
    worktree.root = GetParentPath(worktree.gitDir);
    for (int r = 0; r < repeats; ++r) {
        LARGE_INTEGER a = Now();
        TrackedTreeCache cache;   // a new one each time: nothing is kept from the last read
        std::wstring failed;
        const std::shared_ptr<const TrackedTree> tree = cache.Load(worktree, failed);
        if (!tree) {
            fwprintf(stderr, L"cannot read %ls: %lu\n", failed.c_str(), ::GetLastError());
            return result;
        }
        result.seconds = std::min(result.seconds, Seconds(a, Now()));
        result.entries = tree->Entries();
        result.bytesPerEntry = tree->Entries() ? tree->MemoryBytes() / tree->Entries() : 0;
        result.ok = true;
    }
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // As the console program does, so that the clean measures the deleter it uses.
    ScopedComInit com;
    int projects = _wtoi(Arg(argc, argv, L"--projects", L"200").c_str());
    int sources = _wtoi(Arg(argc, argv, L"--sources", L"160").c_str());
    int repeats = _wtoi(Arg(argc, argv, L"--repeats", L"8").c_str());
    int protectedLines = _wtoi(Arg(argc, argv, L"--protected", L"0").c_str());
    bool skipClean = Arg(argc, argv, L"--clean", L"yes") == L"no";
    // The tree alone, left in place (to be put in a repository), or the tree made so before.
    const bool generateOnly = Flag(argc, argv, L"--generate-only");
    const bool reuse = Flag(argc, argv, L"--reuse");
    const std::wstring bigIndex = Arg(argc, argv, L"--big-index", L"");
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring root = Arg(argc, argv, L"--root", std::wstring(tmp) + L"mopwright-bench") + L"\\Bench";
    if (projects < 1 || sources < 1 || repeats < 1 || protectedLines < 0) {
        fwprintf(stderr, L"usage: mopwright-bench [--projects N] [--sources N] [--repeats N] [--protected N] [--root DIR] "
                         L"[--clean no] [--generate-only | --reuse] [--big-index FILE]\n");
        return 2;
    }

    if (!reuse) {
        RemoveTree(root);
        CreateDirectoryW(root.substr(0, root.rfind(L'\\')).c_str(), nullptr);
        TREE_COUNTS made;
        LARGE_INTEGER t0 = Now();
        Generate(root, projects, sources, protectedLines, made);
        double generateSeconds = Seconds(t0, Now());
        fwprintf(stderr, L"generated %llu files and %llu folders in %.1f s\n", made.files, made.folders, generateSeconds);
        if (generateOnly) return 0;
    }

    // Best of N for each of the four, measured in turn. The machine's speed
    // drifts while it runs (the tree was just written; the caches of a shared
    // machine), fastest at first: a first round is not counted, and each round
    // starts one measure further on, so that every measure comes first, and
    // at every other place, as often as the others.
    double floorBest = 1e9, planBest = 1e9, dryBest = 1e9, untrackedBest = 1e9;
    TREE_COUNTS walked;
    size_t planItems = 0, vsItems = 0, protectedEntries = 0, peakPlanBytes = 0;
    size_t indexEntries = 0, trackedKept = 0;
    CLEANUP_OPTIONS withoutIndex;
    withoutIndex.includeTracked = true;
    unsigned long long planListings = 0, mainWalkListings = 0;
    const std::function<void()> measures[] = {
        [&] {
            TREE_COUNTS c;
            LARGE_INTEGER a = Now();
            BareWalk(root, c);
            floorBest = std::min(floorBest, Seconds(a, Now()));
            walked = c;
        },
        // Planning as the console program's --include-tracked does it: no index is read.
        [&] {
            LARGE_INTEGER n = Now();
            const CLEANUP_PLAN plan = PlanSolutionFolder(root, withoutIndex);
            untrackedBest = std::min(untrackedBest, Seconds(n, Now()));
        },
        [&] {
            size_t liveBefore = g_liveBytes;
            g_peakBytes = g_liveBytes.load();
            DirListing::ResetListingsStarted();
            LARGE_INTEGER b = Now();
            const CLEANUP_PLAN plan = PlanSolutionFolder(root, {});
            planBest = std::min(planBest, Seconds(b, Now()));
            planListings = DirListing::ListingsStarted();
            planItems = plan.vsPlan.size() + plan.mainPlan.size();
            vsItems = plan.vsPlan.size();
            protectedEntries = plan.protectedList->size();
            peakPlanBytes = g_peakBytes - liveBefore;
            indexEntries = 0;
            for (const auto& tree : plan.protectedList->TrackedTrees()) indexEntries += tree->Entries();
            trackedKept = plan.trackedKept;
            if (plan.status != FolderStatus::Planned) fwprintf(stderr, L"planning failed: %lu\n", plan.error);
        },
        // The dry run: the same planning, and what the deletion would do with every item.
        [&] {
            LARGE_INTEGER d = Now();
            const CLEANUP_FORECAST forecast = ForecastCleanup(PlanSolutionFolder(root, {}));
            dryBest = std::min(dryBest, Seconds(d, Now()));
            if (forecast.items.empty()) fwprintf(stderr, L"the dry run would remove nothing\n");
        },
    };
    constexpr int kMeasures = static_cast<int>(std::size(measures));
    for (int r = -1; r < repeats; ++r) {
        for (int m = 0; m < kMeasures; ++m) measures[(std::max(r, 0) + m) % kMeasures]();
        if (r < 0) floorBest = planBest = dryBest = untrackedBest = 1e9;   // the round not counted
        // The main walk alone, for the listings-per-folder figure.
        DirListing::ResetListingsStarted();
        DeletePlan mainOnly;
        ProtectedList keep;
        if (!CollectArtifacts(root, mainOnly, FALSE, keep, WalkTop::SolutionFolder))
            fwprintf(stderr, L"the main walk failed: %lu\n", ::GetLastError());
        mainWalkListings = DirListing::ListingsStarted();
    }
    // A do-not-delete list of 20,000 lines at the root, naming existing
    // sources, costs little more than none: reading and applying stay linear.
    double longListBest = 1e9;
    {
        std::string lines;
        int named = 0;
        for (int p = 0; p < projects && named < 20000; ++p)
            for (int k = 0; k < sources && named < 20000; ++k, ++named)
                lines += "Project" + std::to_string(p) + (p % 4 == 3 ? "\\Type" + std::to_string(k) + ".cs"
                                                                  : "\\src\\unit" + std::to_string(k) + ".cpp") + "\r\n";
        const std::wstring list = root + L"\\Mopwright (do not delete).txt";
        {
            UniqueFile f(CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD w = 0;
            if (f) WriteFile(f.get(), lines.data(), DWORD(lines.size()), &w, nullptr);
        }
        for (int r = 0; r < repeats; ++r) {
            LARGE_INTEGER b = Now();
            const CLEANUP_PLAN plan = PlanSolutionFolder(root, {});
            longListBest = std::min(longListBest, Seconds(b, Now()));
            if (plan.protectedList->size() < 20000) fwprintf(stderr, L"the long list was not read\n");
        }
        DeleteFileW(list.c_str());
    }
    unsigned long long folders = walked.folders + 1;   // the solution folder too
    unsigned long long entries = walked.files + walked.folders;

    double cleanSeconds = 0;
    unsigned long long shellCalls = 0;
    double verifySeconds = 0;
    BOOL cleaned = TRUE;
    double restoreSeconds = 0;
    size_t restoredItems = 0, restoreFailures = 0;
    bool restoreComplete = false;
    if (!skipClean) {
        ResetShellDeleteCalls();
        LARGE_INTEGER c = Now();
        cleaned = ApplyCleanupPlan(PlanSolutionFolder(root, {}), nullptr);
        cleanSeconds = Seconds(c, Now());
        shellCalls = ShellDeleteCalls();
        verifySeconds = VerifySeconds();

        // Undo it: everything comes back from the bin, and the tree is whole again.
        LARGE_INTEGER u = Now();
        const std::vector<FOLDER_RESTORE> restored = RestoreCleanups({root}, RestoreMode::Restore);
        restoreSeconds = Seconds(u, Now());
        restoredItems = restored.front().restored.size();
        restoreFailures = restored.front().failures.size();
        TREE_COUNTS back;
        BareWalk(root, back);
        restoreComplete = back.files == walked.files && back.folders == walked.folders;
    }

    INDEX_READ big;
    if (!bigIndex.empty()) big = TimeIndexRead(bigIndex, repeats);

    double ratio = planBest / floorBest;
    double listingsPerFolder = double(mainWalkListings) / double(folders);
    double shellPerItem = planItems ? double(shellCalls) / double(planItems) : 0;
    double itemsPerSecond = cleanSeconds > 0 ? double(planItems) / cleanSeconds : 0;
    double bytesPerItem = planItems ? double(peakPlanBytes) / double(planItems) : 0;

    wprintf(L"Mopwright benchmark: %llu entries (%llu files, %llu folders), %d projects\n", entries, walked.files,
            walked.folders, projects);
    wprintf(L"%-44ls %14ls\n", L"measure", L"value");
    wprintf(L"%-44ls %14.3f\n", L"bare FindFirstFileW walk, s (floor)", floorBest);
    wprintf(L"%-44ls %14.3f\n", L"planning (both plans + protected list), s", planBest);
    wprintf(L"%-44ls %14.2f\n", L"planning / floor", ratio);
    wprintf(L"%-44ls %14.2f\n", L"planning, 20,000-line list / planning", longListBest / planBest);
    wprintf(L"%-44ls %14.3f\n", L"planning without the git index, s", untrackedBest);
    wprintf(L"%-44ls %14zu\n", L"git index entries read in planning", indexEntries);
    wprintf(L"%-44ls %14.3f\n", L"planning with / without the index", planBest / untrackedBest);
    wprintf(L"%-44ls %14zu\n", L"tracked files kept among planned items", trackedKept);
    if (!bigIndex.empty()) {
        wprintf(L"%-44ls %14zu\n", L"large index: entries", big.entries);
        wprintf(L"%-44ls %14.3f\n", L"large index: read and lookup sets built, s", big.seconds);
        wprintf(L"%-44ls %14zu\n", L"large index: lookup bytes per entry", big.bytesPerEntry);
    }
    wprintf(L"%-44ls %14.3f\n", L"dry run with sizes, s", dryBest);
    wprintf(L"%-44ls %14.2f\n", L"dry run / planning", dryBest / planBest);
    wprintf(L"%-44ls %14.2f\n", L"dry run / floor", dryBest / floorBest);
    wprintf(L"%-44ls %14zu\n", L"planned items (.vs plan + main plan)", planItems);
    wprintf(L"%-44ls %14zu\n", L"  of which .vs plan", vsItems);
    wprintf(L"%-44ls %14zu\n", L"protected entries", protectedEntries);
    wprintf(L"%-44ls %14llu\n", L"listings, whole planning", planListings);
    wprintf(L"%-44ls %14.3f\n", L"listings per folder, main walk", listingsPerFolder);
    wprintf(L"%-44ls %14.3f\n", L"peak planning memory, MiB", peakPlanBytes / 1048576.0);
    wprintf(L"%-44ls %14.1f\n", L"peak planning bytes per planned item", bytesPerItem);
    if (!skipClean) {
        wprintf(L"%-44ls %14ls\n", L"deletes through", ActiveDeleterName());
        wprintf(L"%-44ls %14.3f\n", L"end-to-end clean, s", cleanSeconds);
        wprintf(L"%-44ls %14.1f\n", L"planned items per second (clean)", itemsPerSecond);
        wprintf(L"%-44ls %14llu\n", L"shell delete calls", shellCalls);
        wprintf(L"%-44ls %14.3f\n", L"shell delete calls per planned item", shellPerItem);
        wprintf(L"%-44ls %14.3f\n", L"checking deleted items are gone, s", verifySeconds);
        wprintf(L"%-44ls %14ls\n", L"clean result", cleaned ? L"success" : L"failed");
        wprintf(L"%-44ls %14.3f\n", L"restore of the clean-up, s", restoreSeconds);
        const RESTORE_TIMES times = RestoreTimes();
        wprintf(L"%-44ls %14.3f\n", L"  finding items in the bin, s", times.finding);
        wprintf(L"%-44ls %14.3f\n", L"  the shell putting them back, s", times.shell);
        wprintf(L"%-44ls %14.3f\n", L"  checking each in its place, s", times.checking);
        wprintf(L"%-44ls %14.2f\n", L"restore / clean", cleanSeconds > 0 ? restoreSeconds / cleanSeconds : 0);
        wprintf(L"%-44ls %14zu\n", L"restored items", restoredItems);
        wprintf(L"%-44ls %14zu\n", L"items not restored", restoreFailures);
        wprintf(L"%-44ls %14ls\n", L"tree after restore", restoreComplete ? L"as before" : L"different");
    }
    wprintf(L"{\"entries\":%llu,\"folders\":%llu,\"projects\":%d,\"floorSeconds\":%.4f,\"planSeconds\":%.4f,"
            L"\"planToFloor\":%.3f,\"dryRunSeconds\":%.4f,\"dryRunToPlan\":%.3f,\"dryRunToFloor\":%.3f,\"plannedItems\":%zu,\"listingsPerFolder\":%.4f,\"peakPlanBytes\":%zu,"
            L"\"bytesPerPlannedItem\":%.1f,\"cleanSeconds\":%.3f,\"itemsPerSecond\":%.1f,\"shellCalls\":%llu,"
            L"\"shellCallsPerItem\":%.4f,\"verifySeconds\":%.4f,\"protectedLines\":%d,\"protectedEntries\":%zu,"
            L"\"cleanSucceeded\":%ls,\"restoreSeconds\":%.3f,\"restoredItems\":%zu,\"restoreFailures\":%zu,"
            L"\"restoreComplete\":%ls,\"restoreFindingSeconds\":%.3f,\"restoreShellSeconds\":%.3f,"
            L"\"restoreCheckingSeconds\":%.3f,\"deleter\":\"%ls\",\"longListToPlan\":%.3f,"
            L"\"planSecondsWithoutIndex\":%.4f,\"indexEntries\":%zu,\"planWithIndexToWithout\":%.3f,"
            L"\"trackedKept\":%zu,\"bigIndexEntries\":%zu,\"bigIndexReadSeconds\":%.4f,\"bigIndexBytesPerEntry\":%zu}\n",
            entries, folders, projects, floorBest, planBest, ratio, dryBest, dryBest / planBest, dryBest / floorBest, planItems, listingsPerFolder, peakPlanBytes,
            bytesPerItem, cleanSeconds, itemsPerSecond, shellCalls, shellPerItem, verifySeconds, protectedLines,
            protectedEntries, cleaned ? L"true" : L"false", restoreSeconds, restoredItems, restoreFailures,
            restoreComplete ? L"true" : L"false", RestoreTimes().finding, RestoreTimes().shell, RestoreTimes().checking,
            ActiveDeleterName(), longListBest / planBest, untrackedBest, indexEntries, planBest / untrackedBest, trackedKept,
            big.entries, big.ok ? big.seconds : 0.0, big.bytesPerEntry);
    RemoveTree(root);
    return 0;
}
