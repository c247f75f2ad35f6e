#pragma once
// Carries out a deletion plan: everything goes to the Recycle Bin through the
// shell; only folders that are already empty are removed outright.
#include <windows.h>
#include <string>
#include "engine/records/PlanRecords.h"

// One pass over `items` in `direction` (kFirstToLast or kLastToFirst). FALSE
// when any item failed; the last error is then the most recent failure's code
// (1235 when the host asked to stop).
BOOL ApplyDeletionPlan(const ProtectedList& protectedList, const DeletePlan& items, DELETE_PROGRESS& progress,
                       HWND owner, BOOL direction);
