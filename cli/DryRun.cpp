#include "cli/DryRun.h"

#include <algorithm>

#include "cli/Json.h"
#include "engine/recycling/VolumeBin.h"
#include "engine/running/LogLines.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

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

DRY_RUN_FOLDER DryRunReport(const CLEANUP_PLAN& plan, CRemovedSet* runRemoved)
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
        report.forecast = ForecastCleanup(plan, runRemoved);
        report.error = report.forecast.error;
        report.binBytes = PlannedBinBytes(plan);
        // What an earlier folder removes goes to the bin with that folder.
        for (DRIVE_BYTES& drive : report.binBytes)
            drive.bytes -= std::min(drive.bytes, report.forecast.earlierBytes);
    }
    report.errorText = GetErrorText(report.error);
    return report;
}

void WriteBinRoomJson(CJsonWriter& json, const BIN_ROOM& room, const std::wstring* folder)
{
    json.BeginObject();
    if (folder) json.String(L"folder", *folder);
    json.String(L"drive", room.drive)
        .String(L"bin", BinStateName(room.state))
        .Number(L"planned", room.planned)
        .Number(L"held", room.held)
        .Number(L"maximum", room.maximum);
    if (room.overflow == BinOverflow::Overflows || room.overflow == BinOverflow::Fits)
        json.Bool(L"overflow", room.overflow == BinOverflow::Overflows);
    else
        json.Null(L"overflow");
    json.EndObject();
}

std::wstring BinRoomDryRunLine(const BIN_ROOM& room)
{
    if (room.overflow != BinOverflow::Overflows) return L"";
    const std::wstring figures =
        room.held ? FormatText(L"it holds %llu bytes of at most %llu and would get %llu more", *room.held,
                               *room.maximum, room.planned)
                  : FormatText(L"it takes at most %llu bytes and would get %llu", *room.maximum, room.planned);
    return L"WARNING: The clean-up would send more to the Recycle Bin of " + room.drive +
           L" than it has room for, and Windows would empty older items out of it for good: " + figures + L".";
}
