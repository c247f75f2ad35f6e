#pragma once
// Lines of a clean-up's log about a folder's planning: why it failed, and what
// git kept.
#include <windows.h>
#include <string>

#include "engine/planning/Planner.h"

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
