#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "engine/planning/TopLevelFolder.h"

// The solution file extensions, in the order in which they are tried.
inline constexpr const wchar_t* kSolutionExtensions[] = {L".sln", L".slnx"};

// TRUE when `folder` directly holds a file (not a folder) whose extension equals
// `extension` case-insensitively; `outBaseName` (optional) then receives its
// listed name without the extension. Last error: ERROR_NO_MORE_FILES after a
// match or a complete listing, the listing's own error otherwise.
BOOL FindSolutionFile(const std::wstring& folder, const wchar_t* extension, std::wstring* outBaseName);

// Every folder at or below each of `roots` that directly holds a solution file
// (.sln or .slnx), in path order (so a solution nested in another one's tree
// comes after it), each once. The search never follows links and never enters
// the folders a clean-up removes whole (Debug, obj, ipch, .vs), .git, nor the
// Recycle Bin's store.
// `unreadable` (optional) gets the folders that could not be listed.
std::vector<std::wstring> FindSolutionFolders(const std::vector<std::wstring>& roots,
                                              std::vector<std::wstring>* unreadable = nullptr);
