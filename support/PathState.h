#pragma once
// What stands at a path right now: the one question every part asks of a
// single path, answered without following a link.
#include <string>

// Other also when the path cannot be seen; `unseen` (optional) then gets the
// error that kept it from view, and 0 otherwise.
enum class ObjectState { Missing, Folder, ReparsePoint, Other };
ObjectState LookAt(const std::wstring& path, unsigned long* unseen = nullptr);

// The shell's file operations take no path of MAX_PATH characters or more
// (SHFileOperationW may even crash on one, and no shell item parses from it):
// such an item is refused before the shell sees it, with
// kErrorPathTooLongForShell, and stays where it is.
bool ShellTakesPath(const std::wstring& path);
