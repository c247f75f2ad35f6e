#pragma once
// mopwright-cli --check FOLDER: a self-test a user can run in one line on the
// system in question. It names the system, the deleter and the state of the
// Recycle Bin on FOLDER's drive, then cleans a small solution made for it in a
// new folder inside FOLDER, checks that everything removed reached the bin,
// restores it, compares, and removes what it made.
#include <string>

// The exit code: 0 when the check passed ("check passed" is its last line),
// 1 when any step failed (the last line says which).
int RunSelfCheck(const std::wstring& folder);
