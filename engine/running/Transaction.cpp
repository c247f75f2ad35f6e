#include "engine/running/Transaction.h"

#include "engine/running/LogLines.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "engine/records/CleanupHost.h"
#include "engine/undo/RemovalJournal.h"
#include "engine/running/Executor.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// The order of deletion: the .vs plan first to last, then the main plan last
// to first, so that everything inside a folder goes before the folder, and the
// ancestor sweep's folders, appended last, are reached first of all.
struct DELETION_PASS {
    DeletePlan CLEANUP_PLAN::*plan;
    BOOL direction;
};
constexpr DELETION_PASS kDeletionPasses[] = {
    {&CLEANUP_PLAN::vsPlan, kFirstToLast},
    {&CLEANUP_PLAN::mainPlan, kLastToFirst},
};

// The forecast's side of one folder clean-up.
class CForecast {
public:
    explicit CForecast(const ProtectedList& protectedList) : m_protected(protectedList) {}

    CLEANUP_FORECAST result;
    CRemovedSet removed;

    void Spare(const std::wstring& path, bool isFolder, unsigned long long fileBytes)
    {
        if (!m_sparedKeys.insert(FoldPathCase(path)).second) return;
        unsigned long long bytes = fileBytes;
        if (isFolder) {
            const TREE_TOTALS totals = MeasureTree(path);
            // A size that falls short is never shown as if it were whole.
            if (!totals.Complete()) result.error = totals.error;
            bytes = totals.bytes;
        }
        const KeepReason reason = m_protected.Look(path, isFolder).reason;
        result.spared.push_back({path, isFolder, bytes, reason == KeepReason::None ? KeepReason::DoNotDelete : reason});
    }

    // The take-apart's visitor: counts what would go.
    struct CTakeApart {
        CForecast& forecast;
        unsigned long long bytes = 0;
        void Spared(const std::wstring& path, bool isFolder, unsigned long long fileBytes)
        {
            forecast.Spare(path, isFolder, fileBytes);
        }
        bool RemoveFile(const std::wstring& path, unsigned long long fileBytes, DWORD&)
        {
            std::wstring key = FoldPathCase(path);
            if (!forecast.removed.Covers(key)) {
                bytes += fileBytes;
                forecast.removed.Add(std::move(key));
            }
            return true;
        }
        void Refused(const std::wstring&, DWORD) {}
        void RemoveFolder(const std::wstring& path)
        {
            if (!forecast.m_protected.HasEntryBelow(path)) forecast.removed.Add(FoldPathCase(path));
        }
        bool KeepGoing() { return true; }
    };

private:
    const ProtectedList& m_protected;
    std::unordered_set<std::wstring> m_sparedKeys;
};

} // namespace

BOOL ApplyCleanupPlan(const CLEANUP_PLAN& plan, ICleanupHost* host, CleanupFailure* failure)
{
    if (failure) *failure = CleanupFailure::Planning;
    if (plan.status != FolderStatus::Planned) {
        ::SetLastError(plan.error ? plan.error : ERROR_INVALID_DATA);
        return FALSE;
    }
    // A stop requested before this folder's turn leaves the folder untouched.
    if (host && !host->KeepGoing()) {
        ::SetLastError(ERROR_REQUEST_ABORTED);
        return FALSE;
    }

    DELETE_PROGRESS progress;
    progress.pHost = host;
    progress.total = static_cast<UINT>(plan.vsPlan.size() + plan.mainPlan.size());
    HWND owner = nullptr;
    if (host) {
        host->Progress(0, progress.total, 0);
        owner = host->OwnerWindow();
    }
    // From here on every removal is written down, so that the clean-up can be undone.
    CCleanupJournal journal(plan.folder, [&](DWORD error) {
        if (host) host->Log(UndoUnavailableLine(plan.folder, error));
    });
    progress.pRemovals = &journal;

    // Both passes always run; the last failing pass's code is the one reported.
    DWORD error = 0;
    for (const DELETION_PASS& pass : kDeletionPasses)
        if (!ApplyDeletionPlan(*plan.protectedList, plan.*pass.plan, progress, owner, pass.direction))
            error = ::GetLastError();
    if (failure) *failure = error ? CleanupFailure::Deletion : CleanupFailure::None;
    ::SetLastError(error);
    return error == 0;
}

BOOL CleanSolutionFolder(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder,
                         ICleanupHost* host, CleanupFailure* failure)
{
    CLEANUP_PLAN plan;
    if (!BuildCleanupPlan(baseName, deleteSuo, folder, plan)) {
        const DWORD code = ::GetLastError();
        if (host && !PlanningFailureLine(plan).empty()) host->Log(PlanningFailureLine(plan));
        if (failure) *failure = CleanupFailure::Planning;
        ::SetLastError(code);
        return FALSE;
    }
    return ApplyCleanupPlan(plan, host, failure);
}

CLEANUP_FORECAST ForecastCleanup(const CLEANUP_PLAN& plan, CRemovedSet* runRemoved)
{
    if (plan.status != FolderStatus::Planned) return {};
    const ProtectedList& protectedList = *plan.protectedList;
    CForecast forecast(protectedList);
    // Each object once: the item that removes it is the one shown. Outcomes
    // stand at their item's position (the .vs plan, then the main plan).
    std::unordered_map<std::wstring, size_t> listed;   // key -> position
    std::vector<ITEM_OUTCOME> outcomes(plan.vsPlan.size() + plan.mainPlan.size());
    std::vector<bool> shown(outcomes.size());
    std::vector<std::wstring> wholeFolders;   // for the run's later folders
    size_t first = 0;
    for (const DELETION_PASS& pass : kDeletionPasses) {
        const DeletePlan& items = plan.*pass.plan;
        const bool vsPlan = pass.plan == &CLEANUP_PLAN::vsPlan;
        ForEachInPassOrder(items, pass.direction, [&](const ITEM_2_DELETE& item) {
            const ITEM_PATH at = ItemPath(item);
            const std::wstring& path = at.path;
            std::wstring key = at.canonical == path ? at.key : FoldPathCase(path);
            const bool isFolder = item.nType != DEL_TYPE_FILE;
            // An earlier folder of the run removes it (an inner solution inside
            // a folder that an outer one sends whole): counted there, once.
            if (runRemoved && runRemoved->Covers(key)) {
                if (item.nType != DEL_TYPE_EMPTY_FOLDER) forecast.result.earlierBytes += item.bytes;
                return true;
            }
            // What the planning walk saw there, unless an earlier item takes it.
            const ObjectState state = forecast.removed.Covers(key) ? ObjectState::Missing
                                      : isFolder                   ? ObjectState::Folder
                                                                   : ObjectState::Other;
            const ITEM_DECISION decision = DecideItem(item, at, state, protectedList, nullptr);
            ITEM_OUTCOME outcome{item.strPath, item.nType, vsPlan, decision.action, decision.error, 0};
            // Only folders, and the few files of the .vs plan, can be reached again
            // by a later item: a file of the main plan is planned once.
            const bool mayRecur = isFolder || vsPlan || state == ObjectState::Missing;
            switch (decision.action) {
            case ItemAction::Recycle:
                outcome.bytes = item.bytes;
                if (isFolder || vsPlan) forecast.removed.Add(key);
                if (runRemoved && isFolder) wholeFolders.push_back(key);
                break;
            case ItemAction::TakeApart: {
                CForecast::CTakeApart visitor{forecast};
                DWORD error = 0;
                if (WalkTakeApart(path, protectedList, visitor, error)) {
                    outcome.bytes = visitor.bytes;
                } else {
                    outcome.action = ItemAction::Refuse;
                    outcome.error = error;
                }
                break;
            }
            case ItemAction::Spare: forecast.Spare(path, isFolder, item.bytes); return true;
            case ItemAction::LeaveLink: return true;
            case ItemAction::RemoveIfEmpty:
            case ItemAction::AlreadyGone:
            case ItemAction::Refuse: break;
            }
            if (outcome.action == ItemAction::Refuse) forecast.result.error = outcome.error;
            const size_t position = first + static_cast<size_t>(&item - items.data());
            auto show = [&](size_t at) {
                outcomes[at] = std::move(outcome);
                shown[at] = true;
            };
            if (!mayRecur) {
                show(position);
                return true;
            }
            const auto [seen, added] = listed.emplace(std::move(key), position);
            if (added) {
                show(position);
            } else if (outcomes[seen->second].action == ItemAction::RemoveIfEmpty) {
                // A folder reached again before it could be removed (a remove-if-empty
                // folder and its ancestor entry): the later item is the one that removes it.
                shown[seen->second] = false;
                seen->second = position;
                show(position);
            }
            return true;
        });
        first += items.size();
    }
    for (std::wstring& key : wholeFolders) runRemoved->Add(std::move(key));
    CLEANUP_FORECAST result = std::move(forecast.result);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (!shown[i]) continue;
        result.totalBytes += outcomes[i].bytes;
        result.items.push_back(std::move(outcomes[i]));
    }
    for (const SPARED_OUTCOME& s : result.spared) result.sparedBytes += s.bytes;
    return result;
}
