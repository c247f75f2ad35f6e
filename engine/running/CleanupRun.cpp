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
void LogFailure(ICleanupHost& host, const std::wstring& line)
{
    EngineBeep(MB_ICONHAND);
    host.Log(line);
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
    if (const std::wstring refused = FolderRefusedLine(plan); !refused.empty()) {
        LogFailure(host, refused);
        return false;
    }

    host.Log(folder);
    CleanupFailure failure = CleanupFailure::Planning;
    if (const std::wstring where = PlanningFailureLine(plan); !where.empty()) host.Log(where);
    if (plan.status == FolderStatus::Planned) WarnOfFullBins(host, plan, warned);
    const BOOL cleaned = ApplyCleanupPlan(plan, &host, &failure);
    const DWORD code = ::GetLastError();
    if (const std::wstring kept = TrackedKeptLine(plan); !kept.empty()) host.Log(kept);
    if (cleaned) {
        host.Log(CleanedLine(folder));
        return true;
    }
    LogFailure(host, FailedLine(folder, code, failure == CleanupFailure::Deletion));
    return false;
}

} // namespace

void RunCleanup(ICleanupHost& host, std::vector<std::wstring>& queue, const CLEANUP_OPTIONS& options)
{
    host.RunStarted();
    for (const std::wstring& line : RunStartedLines()) host.Log(line);

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
    host.Log(RunFinishedLine(errorsSeen));
    host.RunEnded(errorsSeen);
}
