#pragma once
#include <string>

// A JSON string literal (quotes included) for UTF-16 text, written as UTF-16;
// the output is converted to UTF-8 when it is printed.
inline std::wstring JsonString(const std::wstring& text)
{
    static const wchar_t* hex = L"0123456789abcdef";
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20) {
                out += L"\\u00";
                out += hex[(c >> 4) & 15];
                out += hex[c & 15];
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}
