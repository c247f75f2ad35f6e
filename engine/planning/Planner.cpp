#include "engine/planning/Planner.h"

#include <shlwapi.h>
#include <algorithm>
#include <unordered_set>

#include "engine/planning/Collectors.h"
#include "engine/planning/SolutionDetect.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/FileTime.h"
#include "support/PathUtil.h"

namespace {

// TRUE when the first `length` characters of `a` and `b` are equal, ignoring case.
bool PrefixEquals(const std::wstring& a, const std::wstring& b, size_t length)
{
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(length), b.c_str(),
                            static_cast<int>(length)) == CSTR_EQUAL;
}

// Appends, as remove-if-empty items, the "x64", "arm64" and "Release" folders
// that lie between the solution folder and a planned item, each once, in the
// order in which they are found. The solution folder itself is never one of them.
void AddAncestorFolders(const std::wstring& folder, DeletePlan& mainPlan)
{
    const size_t length = folder.size();
    std::vector<std::wstring> ancestors;
    // Every folder walked up from so far: everything above one of them has
    // been looked at already, so a walk stops there. Large plans stay linear.
    std::unordered_set<std::wstring> walked;
    std::wstring previousStart;
    const size_t planned = mainPlan.size();
    for (size_t i = 0; i < planned; ++i) {
        const ITEM_2_DELETE& item = mainPlan[i];
        std::wstring current = item.nType == DEL_TYPE_FILE ? GetParentPath(item.strPath)
                                                           : NormalizeFolderPath(item.strPath, FALSE);
        // Files of one folder follow each other in the plan: same start, same ancestors.
        if (current == previousStart) continue;
        previousStart = current;
        if (current.size() <= length || !PrefixEquals(current, folder, length)) continue;
        while (current.size() > length) {
            if (!walked.insert(FoldPathCase(current)).second) break;
            if (IsSweptFolderName(::PathFindFileNameW(current.c_str()))) ancestors.push_back(current);
            current = GetParentPath(current);
        }
    }
    for (std::wstring& a : ancestors) mainPlan.push_back({std::move(a), DEL_TYPE_EMPTY_FOLDER});
}

// Whether a folder is checked for being a drive root, the Windows or a
// Program Files folder or a profile, or takes the verdict of the queued folder
// that holds it: only a folder that really lies below that one, through real
// folders (no link on the way), may take its verdict.
enum class TopLevelCheck { Make, TakeOuterVerdict };

// True when `inner` (inside `outer` by its spelling, both canonical) is
// reached from `outer` through real folders only: neither `outer` nor any
// folder down to `inner` is a link, and all of them are there. `real` keeps
// the folders found so, so that a deep chain of nested solutions asks each
// folder once.
bool BelowThroughRealFolders(const std::wstring& outer, const std::wstring& inner,
                             std::unordered_set<std::wstring>& real)
{
    std::vector<std::wstring> found;
    for (std::wstring folder = inner;;) {
        std::wstring key = FoldPathCase(folder);
        if (real.count(key)) break;
        const DWORD attributes = ::GetFileAttributesW(LongPathForm(folder).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        found.push_back(std::move(key));
        if (folder.size() <= outer.size()) break;   // `outer` itself
        std::wstring parent = GetParentPath(folder);
        if (parent.size() < outer.size()) break;    // `outer` is a drive's root
        folder = std::move(parent);
    }
    for (std::wstring& key : found) real.insert(std::move(key));
    return true;
}

// The premise on which a folder inside `outer` (both canonical) takes its
// verdict: it is reached from there through real folders, and where it
// really stands is where `outer` really stands (`outerReal`, as
// RealFolderPath gives it) with the same names below, so that no link and no
// other drive's root (Wine's drive_c, reached through Z:, say) lies between.
bool ReallyBelow(const std::wstring& outer, const std::wstring& outerReal, const std::wstring& inner,
                 std::unordered_set<std::wstring>& realFolders)
{
    if (outerReal.empty() || !BelowThroughRealFolders(outer, inner, realFolders)) return false;
    const std::wstring below = inner.substr(outer.size() + (outer.back() == L'\\' ? 0 : 1));
    return PathKey(RealFolderPath(inner)) == PathKey(JoinPath(outerReal, below));
}

// The folder's checks, in the order a run makes them; Planned means that it
// passed them and may be planned.
CLEANUP_PLAN CheckFolder(const std::wstring& folder, const CLEANUP_OPTIONS& options,
                         TopLevelCheck topLevel = TopLevelCheck::Make)
{
    CLEANUP_PLAN plan;
    plan.folder = folder;
    // A stray solution file in a drive root, the system's folders or a
    // profile would otherwise send every build folder below them to the bin.
    if (!options.allowTopLevel && topLevel == TopLevelCheck::Make && IsTopLevelFolder(folder)) {
        plan.status = FolderStatus::TopLevel;
        return plan;
    }
    if (!FolderExists(folder)) {
        plan.status = FolderStatus::Inaccessible;
        return plan;
    }
    plan.status = FolderStatus::NoSolution;
    for (const wchar_t* extension : kSolutionExtensions) {
        if (FindSolutionFile(folder, extension, &plan.baseName)) {
            plan.solutionFile = plan.baseName + extension;
            plan.status = FolderStatus::Planned;
            break;
        }
    }
    return plan;
}

void Fail(CLEANUP_PLAN& plan, DWORD error)
{
    plan.status = FolderStatus::PlanningFailed;
    plan.error = error;
}

// What cannot be read counts as changed now: its age is unknown.
ULONGLONG Unknown() { return NowFileTime(); }

// The latest write time of the files below `folder`, links not entered.
ULONGLONG NewestFileIn(const std::wstring& folder)
{
    ULONGLONG newest = 0;
    std::vector<std::wstring> subfolders;
    const LISTING_END end = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        if (DirListing::IsLink(e)) return;
        if (DirListing::IsDirectory(e)) subfolders.push_back(JoinPath(folder, e.cFileName));
        else newest = std::max(newest, DirListing::WriteTime(e));
    });
    if (end.Failed()) return Unknown();
    for (const std::wstring& sub : subfolders) newest = std::max(newest, NewestFileIn(sub));
    return newest;
}

// The latest write time of what a protected entry names.
ULONGLONG NewestChange(const ITEM_2_KEEP& entry)
{
    if (entry.isFolder) return NewestFileIn(entry.path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(LongPathForm(entry.path).c_str(), GetFileExInfoStandard, &data)) return Unknown();
    return FileTimeValue(data.ftLastWriteTime);
}

// One solution folder of a walk that plans several at once.
struct SOLUTION_WALK {
    CLEANUP_PLAN* plan;
    std::wstring canonical;   // the folder in the walk's own spelling
    WALK_TARGET target;
    bool walked = true;       // part of the walk (false: its .vs rule failed, so it is an ordinary folder there)
};

// A do-not-delete file may spare a file inside a folder that would otherwise
// go, or a planned item itself: such a file stays too, and its changes count
// for the solution that holds it. A protected file is looked at whatever holds
// it (the walk may have seen it stay already; that changes nothing); a
// protected folder only inside a folder planned whole (otherwise the walk saw
// all of it).
void CountProtectedChanges(std::vector<SOLUTION_WALK>& walks, const ProtectedList& protectedList)
{
    if (protectedList.empty()) return;
    std::unordered_set<std::wstring> plannedWhole;
    std::unordered_map<std::wstring, CLEANUP_PLAN*> solutions;
    for (SOLUTION_WALK& w : walks) {
        if (!w.walked || !w.target.reached) continue;
        solutions.emplace(FoldPathCase(w.canonical), w.plan);
        for (const DeletePlan* plan : {&w.plan->vsPlan, &w.plan->mainPlan})
            for (const ITEM_2_DELETE& item : *plan)
                if (item.nType == DEL_TYPE_FOLDER_NO_RECURSION || item.nType == DEL_TYPE_FOLDER_TREE)
                    plannedWhole.insert(FoldPathCase(NormalizeFolderPath(item.strPath, FALSE)));
    }
    for (const ITEM_2_KEEP& entry : protectedList) {
        bool covered = !entry.isFolder;
        CLEANUP_PLAN* holder = nullptr;
        for (std::wstring key = FoldPathCase(entry.path); !key.empty() && !holder; key = GetParentPath(key)) {
            if (key.size() == 2 && key[1] == L':') key.push_back(L'\\');   // "C:" is the root "C:\"
            if (!covered) covered = plannedWhole.count(key) != 0;
            const auto found = solutions.find(key);
            if (found != solutions.end()) holder = found->second;
            if (key.size() == 3 && key[1] == L':') break;
        }
        // Outside every solution folder, or a folder the walk saw stay anyway.
        if (!holder || !covered) continue;
        holder->newestKept = std::max(holder->newestKept, NewestChange(entry));
    }
}

// The working tree that holds a solution folder, looked for before its walk
// so that its index is read while the walk goes on.
struct ENCLOSING_TREE {
    GitLookup lookup = GitLookup::None;
    GIT_WORKTREE worktree;
    std::wstring failedFile;   // Broken: the .git file
    DWORD error = 0;
};

ENCLOSING_TREE FindAndPrefetch(const std::wstring& folder, TrackedTreeCache& cache)
{
    ENCLOSING_TREE found;
    found.lookup = FindEnclosingWorkTree(folder, found.worktree, found.failedFile);
    found.error = ::GetLastError();
    if (found.lookup == GitLookup::Found) cache.Prefetch(found.worktree);
    return found;
}

// Makes what git tracks protected in `list`: the working tree that holds the
// solution folder, and each working tree whose .git the walk met
// (submodules, worktrees and clones inside the tree, which answer for their
// own paths). False, with the index (or .git file) at fault and the reason
// as the last error, when one cannot be read: nothing may be touched then.
bool AttachTracked(const ENCLOSING_TREE& enclosing, const std::vector<std::wstring>& gitEntries,
                   TrackedTreeCache& cache, ProtectedList& list, std::wstring& failedFile)
{
    auto attach = [&](GitLookup lookup, const GIT_WORKTREE& worktree) {
        if (lookup == GitLookup::Broken) return false;
        if (lookup == GitLookup::None) return true;
        std::shared_ptr<const TrackedTree> tree = cache.Load(worktree, failedFile);
        if (!tree) return false;
        list.AddTracked(std::move(tree));
        return true;
    };
    if (enclosing.lookup == GitLookup::Broken) {
        failedFile = enclosing.failedFile;
        ::SetLastError(enclosing.error);
        return false;
    }
    if (!attach(enclosing.lookup, enclosing.worktree)) return false;
    GIT_WORKTREE worktree;
    for (const std::wstring& dotGit : gitEntries)
        if (!attach(OpenWorkTree(dotGit, worktree, failedFile), worktree)) return false;
    return true;
}

// The latest write time of a file, or "now" when it cannot be looked at.
ULONGLONG WriteTimeOf(const std::wstring& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(LongPathForm(file).c_str(), GetFileExInfoStandard, &data)) return Unknown();
    return FileTimeValue(data.ftLastWriteTime);
}

// Counts, through `keep`, the files below `folder` that git tracks (all of
// them when the folder is tracked whole), links not entered.
template <typename Keep>
void CountTrackedBelow(const std::wstring& folder, bool whole, const ProtectedList& list, Keep& keep)
{
    std::vector<std::pair<std::wstring, bool>> subfolders;
    (void)ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        if (DirListing::IsLink(e)) return;
        std::wstring full = JoinPath(folder, e.cFileName);
        if (!DirListing::IsDirectory(e)) {
            if (whole || list.LookTracked(full, false).protects) keep(full, DirListing::WriteTime(e));
            return;
        }
        const ProtectedList::ANSWER inside = whole ? ProtectedList::ANSWER{true} : list.LookTracked(full, true);
        if (inside.protects || inside.entryBelow) subfolders.emplace_back(std::move(full), inside.protects);
    });
    for (const auto& [sub, subWhole] : subfolders) CountTrackedBelow(sub, subWhole, list, keep);
}

// The files that git tracks among the items of `plan` and in the folders it
// plans whole stay: they are counted for the log, and their changes count for
// the folder's age like those of every other file that stays.
void CountTrackedKept(CLEANUP_PLAN& plan, const ProtectedList& list)
{
    std::unordered_set<std::wstring> counted;
    auto keep = [&](const std::wstring& file, ULONGLONG written) {
        std::wstring key = FoldPathCase(file);
        // A repository's own files stay with it, but git tracks none of them.
        if (key.find(L"\\.GIT\\") != std::wstring::npos || key.ends_with(L"\\.GIT")) return;
        if (!counted.insert(std::move(key)).second) return;
        ++plan.trackedKept;
        plan.newestKept = std::max(plan.newestKept, written);
    };
    std::wstring lastFolder;
    bool folderHolds = false;   // git tracks something in `lastFolder`
    for (const DeletePlan* items : {&plan.vsPlan, &plan.mainPlan}) {
        for (const ITEM_2_DELETE& item : *items) {
            if (item.nType == DEL_TYPE_FILE) {
                // Files of one folder follow each other in a plan: their folder is asked once.
                const std::wstring& path = item.strPath;
                const size_t slash = path.find_last_of(L"\\/");
                const std::wstring_view folder = std::wstring_view(path).substr(0, slash == std::wstring::npos ? 0 : slash);
                if (folder != lastFolder) {
                    lastFolder.assign(folder);
                    const ProtectedList::ANSWER answer = list.LookTracked(lastFolder, true);
                    folderHolds = answer.protects || answer.entryBelow;
                }
                if (folderHolds && list.LookTracked(path, false).protects) keep(path, WriteTimeOf(path));
            } else if (item.nType == DEL_TYPE_FOLDER_NO_RECURSION || item.nType == DEL_TYPE_FOLDER_TREE) {
                const std::wstring path = NormalizeFolderPath(item.strPath, FALSE);
                const ProtectedList::ANSWER answer = list.LookTracked(path, true);
                if (answer.protects || answer.entryBelow) CountTrackedBelow(path, answer.protects, list, keep);
            }
        }
    }
}

// True when one of the working trees of `list` holds `folder` (canonical).
bool InWorkTree(const std::wstring& folder, const ProtectedList& list)
{
    const std::wstring key = FoldPathCase(folder);
    for (const std::shared_ptr<const TrackedTree>& tree : list.TrackedTrees()) {
        const std::wstring& root = tree->RootKey();
        if (key.size() >= root.size() && key.compare(0, root.size(), root) == 0 &&
            (key.size() == root.size() || root.back() == L'\\' || key[root.size()] == L'\\'))
            return true;
    }
    return false;
}

// Plans `root` and the solution folders `nested` inside it (checked, with
// their base names) in one walk that shares one protected list; the walk
// never enters the queued folders inside it that are `refused` (canonical) as
// top-level folders. Answers, for
// each of `nested`, whether it is planned now; those the walk never reached
// (inside a folder planned whole, say) are left to be planned on their own.
std::vector<bool> PlanTogether(CLEANUP_PLAN& root, const std::vector<CLEANUP_PLAN*>& nested,
                               const CLEANUP_OPTIONS& options, TrackedTreeCache& trackedCache,
                               const std::vector<std::wstring>& refused = {})
{
    const BOOL deleteSuo = options.deleteSuo;
    std::vector<bool> planned(nested.size(), true);
    // A relative path would be resolved against whatever the current folder
    // happens to be: nothing is planned through one.
    if (IsRelativePath(NormalizeFolderPath(root.folder, FALSE))) {
        Fail(root, kErrorRelativePath);
        return std::vector<bool>(nested.size(), false);
    }
    std::vector<SOLUTION_WALK> walks;
    walks.reserve(nested.size() + 1);
    walks.push_back({&root, {}, {}});
    for (CLEANUP_PLAN* plan : nested) walks.push_back({plan, {}, {}});

    std::unordered_map<std::wstring, WALK_TARGET*> targets;
    for (SOLUTION_WALK& w : walks) {
        // One spelling for the walk, so that the walk's paths and the
        // do-not-delete entries compare as the file system would.
        w.canonical = CanonicalPath(NormalizeFolderPath(w.plan->folder, FALSE));
        w.plan->protectedList = root.protectedList;
        if (!CollectVsFolder(w.canonical, w.plan->baseName, deleteSuo, w.plan->vsPlan, &w.plan->newestKept)) {
            Fail(*w.plan, ::GetLastError());
            if (&w == &walks.front()) return std::vector<bool>(nested.size(), false);
            w.walked = false;
            continue;
        }
        w.target.mainPlan = &w.plan->mainPlan;
        // What the .vs rule removes does not count as a change to the solution.
        if (!w.plan->vsPlan.empty()) FindSubfolder(w.canonical, L".vs", w.target.ageSkipFolder);
        if (&w != &walks.front()) targets.emplace(FoldPathCase(w.canonical), &w.target);
    }

    WALK_TARGET fence;   // no plan: the walk stops there
    for (const std::wstring& folder : refused) targets.emplace(FoldPathCase(folder), &fence);

    WALK_EXTRAS extras;
    extras.ageSkipFolder = walks.front().target.ageSkipFolder;
    extras.nested = &targets;
    std::vector<std::wstring> gitEntries;
    ENCLOSING_TREE enclosing;
    if (!options.includeTracked) {
        extras.gitEntries = &gitEntries;
        enclosing = FindAndPrefetch(walks.front().canonical, trackedCache);
    }
    BOOL walked = CollectArtifacts(walks.front().canonical, root.mainPlan, deleteSuo, *root.protectedList,
                                   WalkTop::SolutionFolder, &extras);
    walks.front().target.reached = true;
    walks.front().target.newestKept = extras.newestKept;
    // What git tracks stays; an index that cannot be read stops the folder
    // before anything is touched, as an unreadable do-not-delete file does.
    std::wstring unreadableIndex;
    if (walked && !options.includeTracked &&
        !AttachTracked(enclosing, gitEntries, trackedCache, *root.protectedList, unreadableIndex)) {
        root.unreadableError = ::GetLastError();
        ::SetLastError(kErrorUnreadableGitIndex);
        walked = FALSE;
    }
    if (!walked) {
        // The tree could not be read whole: nothing in it may be touched.
        DWORD error = ::GetLastError();
        if (!extras.unreadableList.empty()) {
            root.unreadableError = error;
            error = kErrorUnreadableKeepList;
        }
        for (SOLUTION_WALK& w : walks) {
            if (!w.walked) continue;
            w.plan->unreadableList = extras.unreadableList;
            w.plan->unlistableFolder = extras.unlistableFolder;
            w.plan->unreadableIndex = unreadableIndex;
            w.plan->unreadableError = root.unreadableError;
            Fail(*w.plan, error);
        }
        return planned;
    }
    for (size_t i = 0; i < walks.size(); ++i) {
        SOLUTION_WALK& w = walks[i];
        if (!w.walked) continue;
        if (!w.target.reached) {
            planned[i - 1] = false;
            continue;
        }
        if (!w.plan->mainPlan.empty()) AddAncestorFolders(w.canonical, w.plan->mainPlan);
        w.plan->newestKept = std::max(w.plan->newestKept, w.target.newestKept);
        w.plan->status = FolderStatus::Planned;
        w.plan->error = 0;
        if (root.protectedList->HasTracked()) {
            w.plan->inWorkTree = InWorkTree(w.canonical, *root.protectedList);
            CountTrackedKept(*w.plan, *root.protectedList);
        }
    }
    CountProtectedChanges(walks, *root.protectedList);
    return planned;
}

bool IsInside(const std::wstring& inner, const std::wstring& outer)
{
    return !outer.empty() && inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           (outer.back() == L'\\' || inner[outer.size()] == L'\\');
}

} // namespace

const std::wstring& CCleanupPlanner::Key(const std::vector<std::wstring>& queue, size_t index)
{
    while (m_keys.size() < queue.size())
        m_keys.push_back(PathKey(queue[m_keys.size()]));
    return m_keys[index];
}

CLEANUP_PLAN CCleanupPlanner::Plan(const std::vector<std::wstring>& queue, size_t index)
{
    if (const auto found = m_planned.find(index); found != m_planned.end()) {
        CLEANUP_PLAN plan = std::move(found->second);
        m_planned.erase(found);
        return plan;
    }
    CLEANUP_PLAN plan = CheckFolder(queue[index], m_options);
    if (plan.status != FolderStatus::Planned) return plan;

    // The solution folders queued after this one inside its tree, each once.
    std::vector<size_t> innerIndex;
    std::vector<CLEANUP_PLAN> inner;
    std::unordered_set<std::wstring> seen;
    const std::wstring outer = CanonicalPath(NormalizeFolderPath(queue[index], FALSE));
    std::wstring outerReal;                         // asked once there is a folder inside
    std::unordered_set<std::wstring> realFolders;   // below `outer`, no link on the way
    std::vector<std::wstring> refused;              // inside it, refused as top-level folders
    for (size_t j = index + 1; j < queue.size(); ++j) {
        const std::wstring& key = Key(queue, j);
        if (m_planned.count(j) || !IsInside(key, Key(queue, index)) || !seen.insert(key).second) continue;
        // Spelled inside this folder, yet perhaps reached through a link that
        // leads anywhere, a drive's root or the Windows folder among them.
        if (outerReal.empty()) outerReal = RealFolderPath(outer);
        const TopLevelCheck topLevel =
            ReallyBelow(outer, outerReal, CanonicalPath(NormalizeFolderPath(queue[j], FALSE)), realFolders)
                ? TopLevelCheck::TakeOuterVerdict
                : TopLevelCheck::Make;
        CLEANUP_PLAN checked = CheckFolder(queue[j], m_options, topLevel);
        // Reported at its own turn; what a refused one holds is no one's to plan.
        if (checked.status == FolderStatus::TopLevel) refused.push_back(CanonicalPath(NormalizeFolderPath(queue[j], FALSE)));
        if (checked.status != FolderStatus::Planned) continue;
        innerIndex.push_back(j);
        inner.push_back(std::move(checked));
    }
    std::vector<CLEANUP_PLAN*> nested;
    for (CLEANUP_PLAN& p : inner) nested.push_back(&p);
    const std::vector<bool> planned = PlanTogether(plan, nested, m_options, m_tracked, refused);
    for (size_t k = 0; k < inner.size(); ++k)
        if (planned[k]) m_planned.emplace(innerIndex[k], std::move(inner[k]));
    return plan;
}

CLEANUP_PLAN PlanSolutionFolder(const std::wstring& folder, const CLEANUP_OPTIONS& options)
{
    CCleanupPlanner planner(options);
    return planner.Plan({folder}, 0);
}

BOOL BuildCleanupPlan(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder, CLEANUP_PLAN& plan)
{
    plan.folder = folder;
    plan.baseName = baseName;
    CLEANUP_OPTIONS options;
    options.deleteSuo = deleteSuo;
    TrackedTreeCache trackedCache;
    PlanTogether(plan, {}, options, trackedCache);
    ::SetLastError(plan.status == FolderStatus::Planned ? 0 : plan.error);
    return plan.status == FolderStatus::Planned;
}
