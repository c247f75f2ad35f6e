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

// Where a folder really stands: opened through links, its final path as the
// system names it (links, subst drives and a drive's root reached through
// another drive resolved), canonical; empty when it cannot be opened.
std::wstring RealFolderPath(const std::wstring& folder);

// True when the folder `name` in `parent` is one of the refused places (the
// Windows, Program Files or profiles folder, a profile) however it is
// reached, for instance through another drive's root that a walk meets as an
// ordinary folder. Only a folder named as one of them is opened, so that a
// walk may ask of every folder it meets.
bool IsRefusedPlaceIn(const std::wstring& parent, const wchar_t* name);
