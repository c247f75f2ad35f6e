#pragma once
// Reader of the do-not-delete files.
#include <windows.h>
#include <string>
#include "engine/Plan.h"
#include "support/TextFile.h"

// The name of the do-not-delete file, looked up directly inside each folder.
inline constexpr const wchar_t kDoNotDeleteFileName[] = L"Mopwright (do not delete).txt";

// Appends the entries of `folder`'s do-not-delete file (if any) to `list`.
// An unreadable file only beeps (MB_ICONEXCLAMATION).
void LoadProtectedList(const std::wstring& folder, ProtectedList& list);
