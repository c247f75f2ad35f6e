#include "cli/DryRun.h"

#include "support/ErrorText.h"

const wchar_t* DeleteTypeName(int nType)
{
    switch (nType) {
    case DEL_TYPE_FILE: return L"file";
    case DEL_TYPE_EMPTY_FOLDER: return L"folder-if-empty";
    case DEL_TYPE_FOLDER_NO_RECURSION: return L"folder";
    case DEL_TYPE_FOLDER_TREE: return L"folder-tree";
    default: return L"unknown";
    }
}

const wchar_t* FolderStatusName(FolderStatus status)
{
    switch (status) {
    case FolderStatus::Planned: return L"planned";
    case FolderStatus::Inaccessible: return L"inaccessible";
    case FolderStatus::NoSolution: return L"no-solution";
    case FolderStatus::PlanningFailed: return L"planning-failed";
    case FolderStatus::TopLevel: return L"top-level";
    }
    return L"unknown";
}

const wchar_t* KeepReasonName(KeepReason reason)
{
    return reason == KeepReason::Tracked ? L"tracked" : L"do-not-delete";
}

DRY_RUN_FOLDER DryRunReport(const CLEANUP_PLAN& plan)
{
    DRY_RUN_FOLDER report;
    report.folder = plan.folder;
    report.status = plan.status;
    report.solutionFile = plan.solutionFile;
    if (plan.status == FolderStatus::PlanningFailed) {
        report.error = plan.error;
        report.unreadableList = plan.unreadableList;
        report.unlistableFolder = plan.unlistableFolder;
        report.unreadableIndex = plan.unreadableIndex;
        report.unreadableLine = PlanningFailureLine(plan);
    } else if (plan.status == FolderStatus::Planned) {
        report.forecast = ForecastCleanup(plan);
        report.error = report.forecast.error;
    }
    report.errorText = GetErrorText(report.error);
    return report;
}
