#pragma once
// The records shared by the collectors, the transaction and the executor.
#include <windows.h>
#include <string>
#include <vector>

#include "engine/records/ProtectedList.h"

// How a planned object is removed.
enum : int {
    DEL_TYPE_FILE = 0,                 // a file, to the Recycle Bin
    DEL_TYPE_EMPTY_FOLDER = 1,         // a folder removed only if it is empty when reached
    DEL_TYPE_FOLDER_NO_RECURSION = 2,  // a folder, to the Recycle Bin without recursing
    DEL_TYPE_FOLDER_TREE = 3,          // a folder with everything in it, to the Recycle Bin
};

// One planned file or folder. A folder path may end in one separator, which the
// users of the record ignore.
struct ITEM_2_DELETE {
    std::wstring strPath;
    int nType = DEL_TYPE_FILE;
    unsigned long long bytes = 0;   // the file's size; for a folder planned whole, the files below it
};
using DeletePlan = std::vector<ITEM_2_DELETE>;

// The direction of a deletion pass over a plan.
inline constexpr BOOL kFirstToLast = TRUE;
inline constexpr BOOL kLastToFirst = FALSE;

// Calls `onItem(item)` for every item of `plan` in the order a pass in
// `direction` reaches them.
template <typename OnItem>
void ForEachInPassOrder(const DeletePlan& plan, BOOL direction, OnItem&& onItem)
{
    const size_t count = plan.size();
    for (size_t step = 0; step < count; ++step) {
        if (!onItem(plan[direction == kFirstToLast ? step : count - 1 - step])) return;
    }
}

class ICleanupHost;
class IRemovalLog;

// Progress of one folder clean-up, shared by its two deletion passes. pHost
// hears of every item and is asked whether to go on; null: nobody is.
// pRemovals hears of every object removed (null: nobody does).
struct DELETE_PROGRESS {
    ICleanupHost* pHost = nullptr;
    UINT done = 0;
    UINT total = 0;
    unsigned long long bytes = 0;   // planned bytes of the items done
    IRemovalLog* pRemovals = nullptr;   // hears of every object removed; may be null
};
