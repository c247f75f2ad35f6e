#pragma once
// The lines a clean-up run writes to its log, each worded here alone.
#include <windows.h>
#include <string>
#include <vector>

#include "engine/planning/Planner.h"

// The lines that open a run, and the one that ends it.
std::vector<std::wstring> RunStartedLines();
std::wstring RunFinishedLine(bool errorsSeen);

// Why a queued folder is not cleaned at all (a system or top-level folder, one
// that cannot be accessed, one without a solution); empty for a folder planned
// or whose planning failed.
std::wstring FolderRefusedLine(const CLEANUP_PLAN& plan);

// A folder cleaned; a folder that failed with `code`, saying whether anything
// may have changed (`deletionBegun`: items may already be in the Recycle Bin).
std::wstring CleanedLine(const std::wstring& folder);
std::wstring FailedLine(const std::wstring& folder, DWORD code, bool deletionBegun);

// Planning failed because a do-not-delete file could not be read: `file`.
// Logged, with the reading error, before the folder's own failure line.
std::wstring UnreadableListLine(const std::wstring& file, DWORD error);

// Planning failed because a git index (or a .git file) could not be read:
// `file`. The line says why and how to go on.
std::wstring UnreadableIndexLine(const std::wstring& file, DWORD error);

// The line of a clean-up's log that says how many files git tracks among
// what the rules would have removed, and so were kept; empty when none.
std::wstring TrackedKeptLine(const CLEANUP_PLAN& plan);

// The line that says where a failed planning stopped (a do-not-delete file
// that could not be read, a folder that could not be listed), logged before the
// folder's own failure line; empty when there is none.
std::wstring PlanningFailureLine(const CLEANUP_PLAN& plan);
