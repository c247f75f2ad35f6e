#pragma once
#include <windows.h>
#include <string>

// The solution file extensions, in the order in which they are tried.
inline constexpr const wchar_t* kSolutionExtensions[] = {L".sln", L".slnx"};

// TRUE when `folder` directly holds a file (not a folder) whose extension equals
// `extension` case-insensitively; `outBaseName` (optional) then receives its
// listed name without the extension. Last error: ERROR_NO_MORE_FILES after a
// match or a complete listing, the listing's own error otherwise.
BOOL FindSolutionFile(const std::wstring& folder, const wchar_t* extension, std::wstring* outBaseName);
