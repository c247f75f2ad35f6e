#pragma once
// The one place where a queued folder is checked and planned. Every front end
// (the window's run, the console's clean-up and dry run, the benchmark) takes
// its record of a folder from here.
#include <windows.h>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/git/GitTracked.h"
#include "engine/records/PlanRecords.h"

struct CLEANUP_OPTIONS {
    BOOL deleteSuo = FALSE;        // also the solution user-option (.suo) files
    bool allowTopLevel = false;    // clean a drive root or system folder that holds a solution
    bool includeTracked = false;   // remove what the rules name even where git tracks it (no index is read)
};

// What became of a queued folder's checks and planning.
enum class FolderStatus {
    Planned,          // both plans and the protected list are complete
    TopLevel,         // a drive root, the Windows or a Program Files folder, a profile: refused
    Inaccessible,     // missing, a file, or out of reach
    NoSolution,       // no .sln or .slnx file directly inside
    PlanningFailed,   // `error` says why; nothing may be touched
};

// Everything decided about one queued folder.
struct CLEANUP_PLAN {
    std::wstring folder;                  // as queued
    FolderStatus status = FolderStatus::PlanningFailed;
    DWORD error = 0;                      // PlanningFailed: the code
    std::wstring unreadableList;          // PlanningFailed: a do-not-delete file that could not be read,
    DWORD unreadableError = 0;            //   and why
    std::wstring unlistableFolder;        // PlanningFailed: a folder that could not be listed whole
    std::wstring unreadableIndex;         // PlanningFailed: a git index (or .git file) that could not be read, and
                                          //   why in unreadableError
    std::wstring baseName;                // the solution file's name without its extension
    std::wstring solutionFile;            // and with it ("App.sln")
    DeletePlan vsPlan;                    // applied first to last
    DeletePlan mainPlan;                  // applied last to first; ends with the ancestor sweep's folders
    // What the do-not-delete files name; shared by solutions planned together.
    std::shared_ptr<ProtectedList> protectedList = std::make_shared<ProtectedList>();
    ULONGLONG newestKept = 0;             // latest write time (FILETIME) of a file that the clean-up leaves in place
    bool inWorkTree = false;              // a git working tree holds the folder: what git tracks stays
    size_t trackedKept = 0;               // files that git tracks among the planned items and in planned folders
};

// Plans the queued folders of one run, each once, when its turn comes. A
// folder of the queue that lies inside the one whose turn it is is planned
// with it, in one walk: the outer plan stops where the inner solution begins,
// so that every item is planned once, and the do-not-delete files anywhere in
// the outer tree protect in both.
class CCleanupPlanner {
public:
    explicit CCleanupPlanner(const CLEANUP_OPTIONS& options) : m_options(options) {}

    // The record of `queue[index]`. The queue may have grown since the last call.
    CLEANUP_PLAN Plan(const std::vector<std::wstring>& queue, size_t index);

private:
    const std::wstring& Key(const std::vector<std::wstring>& queue, size_t index);

    CLEANUP_OPTIONS m_options;
    TrackedTreeCache m_tracked;                            // each index once per run
    std::unordered_map<size_t, CLEANUP_PLAN> m_planned;   // planned with an outer folder, by queue index
    std::vector<std::wstring> m_keys;                      // the queue's folders, canonical and case-folded
};

// Checks and plans one folder on its own.
CLEANUP_PLAN PlanSolutionFolder(const std::wstring& folder, const CLEANUP_OPTIONS& options);

// Builds both plans, the protected list (what git tracks included) and the
// ancestor sweep for a solution folder whose base name is known. FALSE with
// the collector's error; nothing is deleted either way. `plan.folder`,
// `baseName` and `status` are set here.
BOOL BuildCleanupPlan(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder, CLEANUP_PLAN& plan);
