#pragma once
// The console's one JSON writer: every document it prints is built here, and
// every string in it (keys included) goes through JsonString.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A JSON string literal (quotes included) for UTF-16 text, written as UTF-16;
// the output is converted to UTF-8 (support/Utf8.h) when it is printed.
// Quotes and backslashes are escaped, and control characters (C0, DEL and C1)
// and every surrogate that is not half of a pair are written as \uXXXX
// escapes (\n, \r and \t as those), so that the document is valid JSON and
// valid UTF-8 for any name a folder may hold, and a reader gets the very
// units back.
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

// Writes one JSON document without white space, commas where they belong.
// Members of an object take their name first; elements of an array none:
//     CJsonWriter json;
//     json.BeginObject().String(L"mode", L"clean").BeginArray(L"log");
//     for (...) json.String(line);
//     json.EndArray().EndObject();
class CJsonWriter {
public:
    CJsonWriter& BeginObject() { return Open(L'{'); }
    CJsonWriter& BeginObject(std::wstring_view name) { return Key(name).Open(L'{'); }
    CJsonWriter& EndObject() { return Close(L'}'); }
    CJsonWriter& BeginArray() { return Open(L'['); }
    CJsonWriter& BeginArray(std::wstring_view name) { return Key(name).Open(L'['); }
    CJsonWriter& EndArray() { return Close(L']'); }

    // Array elements.
    CJsonWriter& String(std::wstring_view value) { return Raw(JsonString(value)); }
    CJsonWriter& Number(unsigned long long value) { return Raw(std::to_wstring(value)); }

    // Object members.
    CJsonWriter& String(std::wstring_view name, std::wstring_view value) { return Key(name).String(value); }
    CJsonWriter& Number(std::wstring_view name, unsigned long long value) { return Key(name).Number(value); }
    CJsonWriter& Number(std::wstring_view name, const std::optional<unsigned long long>& value)
    {
        return Key(name).Raw(value ? std::to_wstring(*value) : L"null");
    }
    CJsonWriter& Bool(std::wstring_view name, bool value) { return Key(name).Raw(value ? L"true" : L"false"); }
    CJsonWriter& Null(std::wstring_view name) { return Key(name).Raw(L"null"); }

    // The document so far; whole once every object and array is closed.
    const std::wstring& Text() const { return m_out; }

private:
    CJsonWriter& Key(std::wstring_view name)
    {
        Separate();
        m_out += JsonString(name);
        m_out += L':';
        m_afterKey = true;
        return *this;
    }
    CJsonWriter& Raw(std::wstring_view value)
    {
        Separate();
        m_out += value;
        return *this;
    }
    CJsonWriter& Open(wchar_t bracket)
    {
        Separate();
        m_out += bracket;
        m_empty.push_back(true);
        return *this;
    }
    CJsonWriter& Close(wchar_t bracket)
    {
        m_out += bracket;
        if (!m_empty.empty()) m_empty.pop_back();
        return *this;
    }
    // A comma before every value but the first of its object or array; none
    // between a name and its value.
    void Separate()
    {
        if (m_afterKey) {
            m_afterKey = false;
            return;
        }
        if (m_empty.empty()) return;
        if (!m_empty.back()) m_out += L',';
        m_empty.back() = false;
    }

    std::wstring m_out;
    std::vector<bool> m_empty;   // per open object or array: nothing written in it yet
    bool m_afterKey = false;
};
