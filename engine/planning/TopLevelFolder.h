#pragma once
// The folders that no one means to clean, however they are spelled.
#include <string>

// True for the folders that no one means to clean even when a solution file
// stands in them: a drive or share root, the Windows folder, the Program Files
// folders, the profiles folder and a user profile's own folder (any folder
// directly in the profiles folder; not the folders below them). A folder that
// can be opened is judged by what it is (its volume and file ID, and where it
// really stands), so that another drive letter, a subst drive, a junction, the
// "\\?\" form or a short name reaches the same answer; one that cannot is
// judged by its full, long-name spelling. Relative paths are judged as the
// system would resolve them.
bool IsTopLevelFolder(const std::wstring& folder);
