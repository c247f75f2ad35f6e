#include "support/Utf8.h"

namespace {

bool IsHigh(unsigned c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(unsigned c) { return c >= 0xDC00 && c <= 0xDFFF; }

void Append(std::string& out, unsigned long c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Utf8FromWide(std::wstring_view text, LoneSurrogates lone)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned>(text[i]);
        if (IsHigh(c) && i + 1 < text.size() && IsLow(static_cast<unsigned>(text[i + 1]))) {
            Append(out, 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00));
        } else if ((IsHigh(c) || IsLow(c)) && lone == LoneSurrogates::Replace) {
            Append(out, 0xFFFD);
        } else {
            Append(out, c);
        }
    }
    return out;
}

bool WideFromGeneralizedUtf8(std::string_view bytes, std::wstring& text)
{
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 1;
        unsigned long c = lead, least = 0;
        if (lead > 0xF4) return false;   // no UTF-8 byte
        if (lead >= 0xF0) length = 4, c = lead & 0x07, least = 0x10000;
        else if (lead >= 0xE0) length = 3, c = lead & 0x0F, least = 0x800;
        else if (lead >= 0xC0) length = 2, c = lead & 0x1F, least = 0x80;
        else if (lead >= 0x80) return false;   // a continuation byte without its lead
        if (i + length > bytes.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF) return false;   // overlong, or past the last plane
        if (c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);   // a surrogate of its own included
        }
        i += length;
    }
    text = std::move(out);
    return true;
}
