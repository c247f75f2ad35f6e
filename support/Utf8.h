#pragma once
// The one conversion of UTF-16 text to UTF-8, and the reading back of the
// generalized UTF-8 that keeps every UTF-16 text exactly.
//
// A Windows name is a sequence of UTF-16 units, and NTFS takes a surrogate
// that is not half of a pair as readily as any other unit. Plain UTF-8 cannot
// hold such a unit; the generalized form writes it as its own three bytes
// (U+D800..U+DFFF encoded like any other code point of the plane, ED A0 80 ..
// ED BF BF), so that text with one comes back unit for unit. Everything else
// is the same bytes in both forms.
#include <string>
#include <string_view>

// What becomes of a surrogate that is not half of a pair.
enum class LoneSurrogates {
    Replace,   // U+FFFD (EF BF BD), as WideCharToMultiByte writes it: valid UTF-8 for every reader
    Keep,      // its own three bytes: the generalized form, for text that must come back exactly
};

// `text` as UTF-8.
std::string Utf8FromWide(std::wstring_view text, LoneSurrogates lone = LoneSurrogates::Replace);

// Reads UTF-8 in which a surrogate may stand as its own three bytes (what
// Utf8FromWide writes with Keep) back into UTF-16. False, with `text` as it
// was, for any other sequence that is not UTF-8: an overlong form, a code
// point above U+10FFFF, a stray or missing continuation byte.
bool WideFromGeneralizedUtf8(std::string_view bytes, std::wstring& text);
