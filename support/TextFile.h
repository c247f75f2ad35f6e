#pragma once
// Reading a whole text file whatever its encoding, as Notepad writes them.
#include <windows.h>
#include <string>

enum class TextEncoding { None, Utf8, Utf16BE, Utf16LE, Utf32BE, Utf32LE, Scsu };

struct TEXT_ENCODING_MARK {
    TextEncoding encoding = TextEncoding::None;
    size_t markLength = 0;
};

// Classifies a buffer by the byte-order mark at its start; without one, UTF-16
// (markLength 0) is recognised by the pattern of its zero bytes.
TEXT_ENCODING_MARK DetectTextEncoding(const BYTE* bytes, size_t size);

// Reads a whole text file into `text`: UTF-8, UTF-16 and UTF-32 by their marks;
// without a mark, UTF-16 by its zero bytes, UTF-8 when the bytes are valid
// UTF-8, else the ANSI code page. Zero characters at the end are ignored; a
// zero character with text after it fails the read (ERROR_INVALID_DATA), in
// any encoding, rather than cut the text short.
// A missing file reads as an empty text (TRUE, last error ERROR_FILE_NOT_FOUND);
// a file larger than `maxBytes` fails with ERROR_FILE_TOO_LARGE.
// With `generalizedUtf8`, UTF-8 (marked or not) may also hold a surrogate of
// its own as its three bytes (support/Utf8.h), which read back as that unit;
// bytes that do not read so are read as without it.
BOOL ReadTextFile(const std::wstring& path, std::wstring& text, unsigned long long maxBytes = 0xFFFFFFF7u,
                  bool generalizedUtf8 = false);
