#pragma once
// The folder clean-up transaction: plan everything first, then delete.
#include <windows.h>
#include <string>
#include "engine/Plan.h"

class ICleanupHost;

// Everything planned for one solution folder.
struct CLEANUP_PLAN {
    DeletePlan vsPlan;            // applied first to last
    DeletePlan mainPlan;          // applied last to first; ends with the ancestor sweep's folders
    ProtectedList protectedList;
    std::wstring unreadableList;  // a do-not-delete file that could not be read (planning failed)
    DWORD unreadableError = 0;    // and why
    ULONGLONG newestKept = 0;     // latest write time (FILETIME) of a file that the plans leave in place
};

// How a failed folder clean-up failed.
enum class CleanupFailure {
    None,       // succeeded
    Planning,   // nothing was touched
    Deletion,   // some items may already be in the Recycle Bin
};

// Builds both plans, the protected list and the ancestor sweep. FALSE with the
// collector's error; nothing is deleted either way.
BOOL BuildCleanupPlan(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder, CLEANUP_PLAN& plan);

// Cleans one solution folder. `host` drives the progress bar and the message
// pump (null: none). FALSE with the error code as last error; `failure`
// (optional) tells whether planning or deletion failed.
BOOL CleanSolutionFolder(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder,
                         ICleanupHost* host, CleanupFailure* failure = nullptr);

// Planning failed because a do-not-delete file could not be read: `file`.
// Logged, with the reading error, before the folder's own failure line.
std::wstring UnreadableListLine(const std::wstring& file, DWORD error);
