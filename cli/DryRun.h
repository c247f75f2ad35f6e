#pragma once
// What a clean-up would remove, with sizes, without touching anything.
#include <windows.h>
#include <string>
#include <vector>

struct DRY_RUN_ITEM {
    std::wstring path;
    int nType = 0;              // DEL_TYPE_*
    bool vsPlan = false;        // planned by the .vs rule (else by the main walk)
    unsigned long long bytes = 0;   // bytes this item would remove that no earlier item removes
};

struct DRY_RUN_SPARED {
    std::wstring path;
    bool isFolder = false;
    unsigned long long bytes = 0;
};

enum class DryRunStatus { Planned, Inaccessible, NoSolution, PlanningFailed, TopLevel };

struct DRY_RUN_FOLDER {
    std::wstring folder;                 // as given
    DryRunStatus status = DryRunStatus::Planned;
    std::wstring solutionFile;           // e.g. "App.sln"
    DWORD error = 0;                     // PlanningFailed: the collector's code
    std::wstring errorText;
    std::wstring unreadableList;         // PlanningFailed: the do-not-delete file that could not be read
    std::wstring unreadableLine;         // and the log line that says so
    std::vector<DRY_RUN_ITEM> items;     // in plan order: .vs plan, then the main plan
    std::vector<DRY_RUN_SPARED> spared;  // planned, or inside planned folders, but protected
    unsigned long long totalBytes = 0;
    unsigned long long sparedBytes = 0;
    ULONGLONG newestKept = 0;            // latest change (FILETIME) of a file that would stay
};

// Checks the folder as a clean-up run does, builds its plans and measures them.
DRY_RUN_FOLDER PlanFolderDryRun(const std::wstring& folder, bool deleteSuo, bool allowTopLevel = false);

// The latest change (FILETIME) of a file that a clean-up of `folder` would
// leave in place; 0 when the folder cannot be planned.
ULONGLONG NewestKeptChange(const std::wstring& folder, bool deleteSuo);

// Files and folders below `folder` (reparse points counted, never entered) and
// the bytes of its files.
struct TREE_TOTALS {
    unsigned long long items = 0;
    unsigned long long bytes = 0;
};
TREE_TOTALS MeasureTree(const std::wstring& folder);

const wchar_t* DeleteTypeName(int nType);
const wchar_t* DryRunStatusName(DryRunStatus status);
