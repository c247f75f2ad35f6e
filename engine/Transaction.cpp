#include "engine/Transaction.h"

#include <shlwapi.h>
#include <algorithm>
#include <unordered_set>

#include "engine/CleanupHost.h"
#include "engine/CleanupJournal.h"
#include "engine/Executor.h"
#include "engine/Rules.h"
#include "support/ErrorText.h"
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

} // namespace

BOOL BuildCleanupPlan(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder, CLEANUP_PLAN& plan)
{
    // A relative path would be resolved against whatever the current folder
    // happens to be: nothing is planned through one.
    if (IsRelativePath(NormalizeFolderPath(folder, FALSE))) {
        ::SetLastError(kErrorRelativePath);
        return FALSE;
    }
    // One spelling for the walk, so that the walk's paths and the do-not-delete
    // entries compare as the file system would.
    const std::wstring canonical = CanonicalPath(NormalizeFolderPath(folder, FALSE));
    if (!CollectVsFolder(canonical, baseName, deleteSuo, plan.vsPlan, &plan.newestKept)) return FALSE;
    WALK_EXTRAS extras;
    // What the .vs rule removes does not count as a change to the solution.
    if (!plan.vsPlan.empty()) FindSubfolder(canonical, L".vs", extras.ageSkipFolder);
    const BOOL walked = CollectArtifacts(canonical, plan.mainPlan, deleteSuo, plan.protectedList,
                                         /*isSolutionFolder*/ true, &extras);
    plan.unreadableList = extras.unreadableList;
    plan.newestKept = std::max(plan.newestKept, extras.newestKept);
    if (!walked) {
        if (!plan.unreadableList.empty()) {
            plan.unreadableError = ::GetLastError();
            ::SetLastError(kErrorUnreadableKeepList);
        }
        return FALSE;
    }
    if (!plan.mainPlan.empty() && !canonical.empty()) AddAncestorFolders(canonical, plan.mainPlan);
    ::SetLastError(0);
    return TRUE;
}

BOOL CleanSolutionFolder(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder,
                         ICleanupHost* host, CleanupFailure* failure)
{
    if (failure) *failure = CleanupFailure::None;

    CLEANUP_PLAN plan;
    if (!BuildCleanupPlan(baseName, deleteSuo, folder, plan)) {
        DWORD code = ::GetLastError();
        if (host && !plan.unreadableList.empty())
            host->Log(UnreadableListLine(plan.unreadableList, plan.unreadableError));
        if (failure) *failure = CleanupFailure::Planning;
        ::SetLastError(code);
        return FALSE;
    }

    // A stop requested before this folder's turn leaves the folder untouched.
    if (host && !host->KeepGoing()) {
        if (failure) *failure = CleanupFailure::Planning;
        ::SetLastError(ERROR_REQUEST_ABORTED);
        return FALSE;
    }

    DELETE_PROGRESS progress;
    progress.pHost = host;
    progress.done = 0;
    progress.total = static_cast<UINT>(plan.vsPlan.size() + plan.mainPlan.size());
    HWND owner = nullptr;
    if (host) {
        host->Progress(0, progress.total, 0);
        owner = host->OwnerWindow();
    }

    // From here on every removal is journaled, so that the clean-up can be undone.
    CCleanupJournal journal(folder, [&](DWORD error) { if (host) host->Log(UndoUnavailableLine(folder, error)); });
    progress.pRemovals = &journal;

    BOOL result = TRUE;
    DWORD passOneError = 0;
    if (!ApplyDeletionPlan(plan.protectedList, plan.vsPlan, progress, owner, TRUE)) {
        passOneError = ::GetLastError();
        result = FALSE;
    }
    if (!ApplyDeletionPlan(plan.protectedList, plan.mainPlan, progress, owner, FALSE)) {
        result = FALSE;
    } else if (!result) {
        ::SetLastError(passOneError);
    }
    // Pass two's code (or pass one's) is the thread's last error from here on.
    if (!result && failure) {
        DWORD code = ::GetLastError();
        *failure = CleanupFailure::Deletion;
        ::SetLastError(code);
    }
    return result;
}

std::wstring UnreadableListLine(const std::wstring& file, DWORD error)
{
    return FormatText(L"ERROR: (%d) Cannot read do-not-delete file: \"%ls\". %ls", static_cast<int>(error), file.c_str(),
                      GetErrorText(error).c_str());
}
