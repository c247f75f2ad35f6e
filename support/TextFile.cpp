#include "support/TextFile.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "support/PathUtil.h"
#include "support/Utf8.h"
#include "support/UniqueHandle.h"

TEXT_ENCODING_MARK DetectTextEncoding(const BYTE* b, size_t size)
{
    if (!b) return {};
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {TextEncoding::Utf8, 3};
    if (size >= 3 && b[0] == 0x0E && b[1] == 0xFE && b[2] == 0xFF) return {TextEncoding::Scsu, 3};
    if (size >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) return {TextEncoding::Utf32LE, 4};
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) return {TextEncoding::Utf16BE, 2};
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) return {TextEncoding::Utf16LE, 2};
    if (size >= 4 && b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) return {TextEncoding::Utf32BE, 4};
    // Without a mark, UTF-16 shows itself by its zero bytes: in text that is
    // mostly ASCII, most characters have a zero high byte. Zero bytes at the
    // end (padding) do not count, except the one that completes a character.
    size_t end = size;
    while (end && b[end - 1] == 0) --end;
    if ((end & 1) && end < size) ++end;
    const size_t units = (end + 1) / 2;
    size_t evenZeros = 0, oddZeros = 0;
    for (size_t i = 0; i < end; ++i)
        if (b[i] == 0) ++((i & 1) ? oddZeros : evenZeros);
    if (oddZeros * 2 >= units && oddZeros > evenZeros) return {TextEncoding::Utf16LE, 0};
    if (evenZeros * 2 >= units && evenZeros > oddZeros) return {TextEncoding::Utf16BE, 0};
    return {};
}

namespace {

// Zero characters at the end of a text are padding and go. One with text
// after it would cut the list short, dropping entries unseen: such a text is
// not read at all (FALSE, ERROR_INVALID_DATA).
BOOL DropTrailingNuls(std::wstring& text)
{
    const size_t last = text.find_last_not_of(L'\0');
    text.resize(last == std::wstring::npos ? 0 : last + 1);
    if (text.find(L'\0') == std::wstring::npos) return TRUE;
    ::SetLastError(ERROR_INVALID_DATA);
    return FALSE;
}

// Converts the payload after the mark. FALSE leaves the failure's code in the
// last error.
BOOL ConvertText(const BYTE* payload, size_t n, TextEncoding encoding, bool generalizedUtf8, std::wstring& text)
{
    switch (encoding) {
    case TextEncoding::None: {
        // Today's editors save UTF-8 without a mark: valid UTF-8 is read as
        // such, anything else in the ANSI code page (plain ASCII reads the same
        // either way).
        const char* bytes = reinterpret_cast<const char*>(payload);
        const size_t len = n;
        if (len > INT_MAX) {
            ::SetLastError(ERROR_BAD_LENGTH);
            return FALSE;
        }
        std::wstring out;
        if (!generalizedUtf8 || !WideFromGeneralizedUtf8({bytes, len}, out)) {
            UINT codePage = CP_UTF8;
            int needed = len ? ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(len), nullptr, 0)
                             : 0;
            if (len && needed <= 0) {
                codePage = CP_THREAD_ACP;
                needed = ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(len), nullptr, 0);
            }
            if (needed > 0) {
                out.resize(static_cast<size_t>(needed));
                int got = ::MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(len), out.data(), needed);
                out.resize(got > 0 ? static_cast<size_t>(got) : 0);
            }
        }
        if (!DropTrailingNuls(out)) return FALSE;   // text stays as it was
        text = std::move(out);
        ::SetLastError(0);
        return TRUE;
    }
    case TextEncoding::Utf32LE:
    case TextEncoding::Utf32BE: {
        std::wstring out;
        out.reserve(n / 4);
        for (size_t i = 0; i + 4 <= n; i += 4) {   // a short last unit is dropped
            const BYTE* u = payload + i;
            const unsigned long c = encoding == TextEncoding::Utf32LE
                                        ? u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<unsigned long>(u[3]) << 24)
                                        : u[3] | (u[2] << 8) | (u[1] << 16) | (static_cast<unsigned long>(u[0]) << 24);
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return FALSE;   // text stays as it was
            }
            if (c >= 0x10000) {
                out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                out.push_back(static_cast<wchar_t>(c));
            }
        }
        if (!DropTrailingNuls(out)) return FALSE;
        text = std::move(out);
        ::SetLastError(0);
        return TRUE;
    }
    case TextEncoding::Utf8: {
        if (n == 0) {
            text.clear();
            ::SetLastError(0);
            return TRUE;
        }
        if (n > INT_MAX) {
            ::SetLastError(ERROR_BAD_LENGTH);
            return FALSE;
        }
        const char* bytes = reinterpret_cast<const char*>(payload);
        std::wstring out;
        if (!generalizedUtf8 || !WideFromGeneralizedUtf8({bytes, n}, out)) {
            int needed = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), nullptr, 0);
            if (needed < 1) return FALSE;   // text stays as it was
            out.assign(static_cast<size_t>(needed), L'\0');
            if (!::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), out.data(), needed)) {
                DWORD error = ::GetLastError();
                text.clear();
                ::SetLastError(error);
                return FALSE;
            }
        }
        if (!DropTrailingNuls(out)) return FALSE;
        text = std::move(out);
        ::SetLastError(0);
        return TRUE;
    }
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        std::wstring out(n / 2, L'\0');   // an odd last byte is dropped
        if (!out.empty()) std::memcpy(out.data(), payload, out.size() * sizeof(wchar_t));
        if (encoding == TextEncoding::Utf16BE)
            for (wchar_t& c : out) c = static_cast<wchar_t>(((c & 0xFF) << 8) | ((c >> 8) & 0xFF));
        if (!DropTrailingNuls(out)) return FALSE;
        text = std::move(out);
        ::SetLastError(0);
        return TRUE;
    }
    default:
        // SCSU: not read at all.
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
}

} // namespace

BOOL ReadTextFile(const std::wstring& path, std::wstring& text, unsigned long long maxBytes, bool generalizedUtf8)
{
    UniqueFile file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            // A file that is not there reads as an empty text.
            text.clear();
            ::SetLastError(error);
            return TRUE;
        }
        ::SetLastError(error);
        return FALSE;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return FALSE;
    if (size.HighPart != 0 || size.LowPart >= 0xFFFFFFF8u) {
        ::SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    }
    const DWORD length = size.LowPart;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[static_cast<size_t>(length)]);
    if (!buffer) {
        ::SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.get(), length, &got, nullptr) || got < length) return FALSE;

    const TEXT_ENCODING_MARK mark = DetectTextEncoding(buffer.get(), length);
    BOOL ok = ConvertText(buffer.get() + mark.markLength, length - mark.markLength, mark.encoding, generalizedUtf8, text);
    DWORD error = ok ? 0 : ::GetLastError();
    buffer.reset();
    file.reset();
    ::SetLastError(error);
    return ok;
}
