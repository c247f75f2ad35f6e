#pragma once
// What a clean-up would remove, with sizes, without touching anything: the
// engine's record of each folder and its forecast, put into words.
#include <windows.h>
#include <string>
#include <vector>

#include "engine/undo/BinRoom.h"
#include "engine/running/Transaction.h"

struct DRY_RUN_FOLDER {
    std::wstring folder;                 // as given
    FolderStatus status = FolderStatus::Planned;
    std::wstring solutionFile;           // e.g. "App.sln"
    DWORD error = 0;                     // PlanningFailed: the planning's code; Planned: the code the clean-up would fail with
    std::wstring errorText;
    std::wstring unreadableList;         // PlanningFailed: the do-not-delete file that could not be read
    std::wstring unlistableFolder;       // PlanningFailed: a folder that could not be listed whole
    std::wstring unreadableIndex;        // PlanningFailed: the git index (or .git file) that could not be read
    std::wstring unreadableLine;         // the log line that says where planning stopped
    CLEANUP_FORECAST forecast;           // Planned: item by item
    std::vector<DRIVE_BYTES> binBytes;   // Planned: what its plans send to each drive's Recycle Bin
};

// The report on one planned (or refused) folder. `runRemoved`, shared by
// the run's reports in turn, leaves out of each what an earlier folder of
// the run removes whole (see ForecastCleanup).
DRY_RUN_FOLDER DryRunReport(const CLEANUP_PLAN& plan, CRemovedSet* runRemoved = nullptr);

const wchar_t* DeleteTypeName(int nType);
const wchar_t* FolderStatusName(FolderStatus status);

class CJsonWriter;

// Writes a drive's bin room as a JSON object: {"drive":str, "bin":"on"|"off"|"absent",
// "planned":int, "held":int|null, "maximum":int|null, "overflow":bool|null},
// with "folder":str first when `folder` is given.
void WriteBinRoomJson(CJsonWriter& json, const BIN_ROOM& room, const std::wstring* folder = nullptr);

// The dry run's line for a drive whose bin the clean-up would overflow; empty otherwise.
std::wstring BinRoomDryRunLine(const BIN_ROOM& room);
// "do-not-delete" or "tracked".
const wchar_t* KeepReasonName(KeepReason reason);
