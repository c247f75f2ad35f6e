#include "engine/running/CleanupRun.h"

#include <shlobj.h>
#include <set>

#include "engine/records/Beep.h"
#include "engine/undo/BinRoom.h"
#include "engine/records/CleanupHost.h"
#include "engine/running/LogLines.h"
#include "engine/running/Transaction.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// Logs a folder's failure line, after its beep.
void LogFailure(ICleanupHost& host, const wchar_t* format, const std::wstring& folder)
{
    EngineBeep(MB_ICONHAND);
    host.Log(FormatText(format, folder.c_str()));
}

// Before a folder's deletion: where its plans would push older items out of
// a drive's Recycle Bin, one warning line. A run warns of each drive once.
void WarnOfFullBins(ICleanupHost& host, const CLEANUP_PLAN& plan, std::set<std::wstring>& warned)
{
    const std::vector<BIN_ROOM> rooms = CheckBinRoom(PlannedBinBytes(plan));
    host.BinRoomChecked(plan.folder, rooms);
    std::vector<BIN_ROOM> fresh;
    for (const BIN_ROOM& room : rooms)
        if (room.overflow == BinOverflow::Overflows && warned.insert(PathKey(room.drive)).second) fresh.push_back(room);
    if (const std::wstring line = BinOverflowLine(fresh); !line.empty()) host.Log(line);
}

// Logs and cleans one planned folder; false when it failed in any way.
bool CleanFolder(ICleanupHost& host, const CLEANUP_PLAN& plan, std::set<std::wstring>& warned)
{
    const std::wstring& folder = plan.folder;
    switch (plan.status) {
    case FolderStatus::TopLevel:
        LogFailure(host, L"ERROR: Cannot clean a system or top-level folder: \"%ls\"", folder);
        return false;
    case FolderStatus::Inaccessible:
        LogFailure(host, L"ERROR: Cannot access folder: \"%ls\"", folder);
        return false;
    case FolderStatus::NoSolution:
        LogFailure(host, L"ERROR: The folder contains no recognized Visual Studio solution: \"%ls\"", folder);
        return false;
    case FolderStatus::PlanningFailed:
    case FolderStatus::Planned:
        break;
    }

    host.Log(folder);
    CleanupFailure failure = CleanupFailure::Planning;
    if (const std::wstring where = PlanningFailureLine(plan); !where.empty()) host.Log(where);
    if (plan.status == FolderStatus::Planned) WarnOfFullBins(host, plan, warned);
    const BOOL cleaned = ApplyCleanupPlan(plan, &host, &failure);
    const DWORD code = ::GetLastError();
    if (const std::wstring kept = TrackedKeptLine(plan); !kept.empty()) host.Log(kept);
    if (cleaned) {
        host.Log(FormatText(L"Success! Cleaned up folder: \"%ls\"", folder.c_str()));
        return true;
    }
    EngineBeep(MB_ICONHAND);
    const std::wstring text = GetErrorText(code);
    // Once deletion has begun, items may already be in the Recycle Bin:
    // the line must not claim that nothing changed.
    const wchar_t* format =
        failure == CleanupFailure::Deletion
            ? L"ERROR: (%d) Failed to clean up folder: \"%ls\". Some items could not be removed. %ls"
            : L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied. %ls";
    host.Log(FormatText(format, static_cast<int>(code), folder.c_str(), text.c_str()));
    return false;
}

} // namespace

void RunCleanup(ICleanupHost& host, std::vector<std::wstring>& queue, const CLEANUP_OPTIONS& options)
{
    host.RunStarted();
    host.Log(L" ");
    host.Log(L"Clean-up process has been started. Please wait ...");

    bool errorsSeen = false;
    std::set<std::wstring> warned;   // drives whose bins this run warned of
    CCleanupPlanner planner(options);
    // The queue may grow while the host handles messages: its size is read
    // anew before every folder.
    for (size_t index = 0; index < queue.size(); ++index) {
        const CLEANUP_PLAN plan = planner.Plan(queue, index);
        if (host.FolderPlanned(plan) && !CleanFolder(host, plan, warned)) errorsSeen = true;
    }

    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    queue.clear();
    host.Log(errorsSeen ? L"Finished clean-up process with errors:" : L"Finished clean-up process.");
    host.RunEnded(errorsSeen);
}
