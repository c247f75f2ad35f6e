#pragma once
// What a clean-up run tells its front end, and what it asks of it. The main
// dialog, the console program and the tests each implement it; the engine
// never touches a window or a message queue itself.
#include <windows.h>
#include <string>
#include <vector>

struct CLEANUP_PLAN;
struct BIN_ROOM;

class ICleanupHost {
public:
    virtual ~ICleanupHost() = default;

    // A run begins (before its first line) and ends (after its last line).
    // `errorsSeen`: some folder failed in any way.
    virtual void RunStarted() = 0;
    virtual void RunEnded(bool errorsSeen) = 0;

    // A queued folder's turn has come and it has been checked and planned
    // (before any of its lines). False leaves it out of the run: nothing is
    // logged for it and nothing in it is touched.
    virtual bool FolderPlanned(const CLEANUP_PLAN& plan) = 0;

    // One line of the run's log, in time order.
    virtual void Log(const std::wstring& line) = 0;

    // Before a planned folder's deletion begins: the room of each drive's
    // Recycle Bin for what its plans send there (engine/BinRoom.h). A warning
    // line, where there is one, follows through Log.
    virtual void BinRoomChecked(const std::wstring& folder, const std::vector<BIN_ROOM>& rooms)
    {
        (void)folder;
        (void)rooms;
    }

    // The deletion of one folder's plans: `done` of `total` items, which held
    // `bytes` as planned. Called with done 0 when the deletion starts, then
    // after every item.
    virtual void Progress(UINT done, UINT total, unsigned long long bytes) = 0;

    // Asked between items and between folder levels of a deletion: false
    // stops the work at once (the pass ends with ERROR_REQUEST_ABORTED).
    virtual bool KeepGoing() = 0;

    // An item that could not be removed, with the code that says why.
    virtual void ItemFailed(const std::wstring& path, DWORD error) = 0;

    // Owner window of the shell's delete; may be null.
    virtual HWND OwnerWindow() = 0;
};
