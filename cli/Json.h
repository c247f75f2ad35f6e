#pragma once
#include <string>
#include <string_view>

// A JSON string literal (quotes included) for UTF-16 text, written as UTF-16;
// the output is converted to UTF-8 when it is printed. Control characters
// (C0, DEL and C1) and every surrogate that is not half of a pair are written
// as \uXXXX escapes, so that the document is valid JSON and valid UTF-8 for any
// name a folder may hold, and a reader gets the very units back.
inline std::wstring JsonString(std::wstring_view text)
{
    static const wchar_t* hex = L"0123456789abcdef";
    const auto escape = [&](std::wstring& out, unsigned c) {
        out += L"\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 15];
    };
    const auto high = [](unsigned c) { return c >= 0xD800 && c <= 0xDBFF; };
    const auto low = [](unsigned c) { return c >= 0xDC00 && c <= 0xDFFF; };
    std::wstring out = L"\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
                escape(out, c);
            } else if (high(c) && i + 1 < text.size() && low(static_cast<unsigned>(text[i + 1]))) {
                out += text[i];
                out += text[++i];
            } else if (high(c) || low(c)) {
                escape(out, c);
            } else {
                out += text[i];
            }
        }
    }
    return out + L"\"";
}
