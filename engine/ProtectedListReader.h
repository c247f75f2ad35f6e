#pragma once
// Reader of the do-not-delete files.
#include <windows.h>
#include <string>
#include "engine/Plan.h"

// The name of the do-not-delete file, looked up directly inside each folder.
inline constexpr const wchar_t kDoNotDeleteFileName[] = L"Mopwright (do not delete).txt";

enum class TextEncoding { None, Utf8, Utf16BE, Utf16LE, Utf32BE, Utf32LE, Scsu };

struct TEXT_ENCODING_MARK {
    TextEncoding encoding = TextEncoding::None;
    size_t markLength = 0;
};

// Classifies the byte-order mark at the start of a buffer.
TEXT_ENCODING_MARK DetectTextEncoding(const BYTE* bytes, size_t size);

// Reads a whole text file (BOM-detected; ANSI without a mark) into `text`.
BOOL ReadTextFile(const std::wstring& path, std::wstring& text);

// Appends the entries of `folder`'s do-not-delete file (if any) to `list`.
// An unreadable file only beeps (MB_ICONEXCLAMATION).
void LoadProtectedList(const std::wstring& folder, ProtectedList& list);
