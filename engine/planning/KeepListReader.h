#pragma once
// Reader of the do-not-delete files.
#include <windows.h>
#include <string>
#include "engine/records/PlanRecords.h"
#include "support/TextFile.h"

// The name of the do-not-delete file, looked for in every folder of a tree.
inline constexpr const wchar_t kDoNotDeleteFileName[] = L"Mopwright (do not delete).txt";

// A do-not-delete file larger than this is not read (and fails its folder).
inline constexpr unsigned long long kMaxDoNotDeleteFileBytes = 64ull << 20;

// Adds the entries that the do-not-delete file `file` names to `list`, and the
// file itself, which is never removed. Each line names a file or folder,
// relative to the file's folder or full, optionally in double quotes; it
// counts when it names an existing object. FALSE (with the reason as the last
// error, after a beep) when the file exists but cannot be read: it could not be
// opened, is too large, is in an encoding that cannot be read, or holds a zero
// character with text after it (which would drop the lines after it unseen).
BOOL ReadProtectedListFile(const std::wstring& file, ProtectedList& list);

// The same for the do-not-delete file directly in `folder`; TRUE when there is none.
BOOL LoadProtectedList(const std::wstring& folder, ProtectedList& list);
