#include "engine/ProtectedListReader.h"

#include <shlwapi.h>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "engine/Beep.h"
#include "support/PathUtil.h"
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
    return {};
}

namespace {

void CutAtNul(std::wstring& text)
{
    size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
}

// Converts the payload after the mark. FALSE leaves the failure's code in the
// last error.
BOOL ConvertText(const BYTE* payload, size_t n, TextEncoding encoding, std::wstring& text)
{
    switch (encoding) {
    case TextEncoding::None: {
        // Without a mark the text ends at its first zero byte.
        const char* bytes = reinterpret_cast<const char*>(payload);
        size_t len = strlen(bytes);
        if (len > INT_MAX) {
            ::SetLastError(ERROR_BAD_LENGTH);
            return FALSE;
        }
        std::wstring out;
        int needed = len ? ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(len), nullptr, 0) : 0;
        if (needed > 0) {
            out.resize(static_cast<size_t>(needed));
            int got = ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(len), out.data(), needed);
            out.resize(got > 0 ? static_cast<size_t>(got) : 0);
        }
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
        int needed = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), nullptr, 0);
        if (needed < 1) return FALSE;   // text stays as it was
        std::wstring out(static_cast<size_t>(needed), L'\0');
        if (!::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(n), out.data(), needed)) {
            DWORD error = ::GetLastError();
            text.clear();
            ::SetLastError(error);
            return FALSE;
        }
        CutAtNul(out);
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
        CutAtNul(out);
        text = std::move(out);
        ::SetLastError(0);
        return TRUE;
    }
    default:
        // UTF-32 and SCSU: a do-not-delete file in them is not read at all.
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
}

// Resolves "." and ".." segments of an absolute path as the system does when it
// opens the path, so that a line such as ".\obj" protects the folder the walk
// lists as obj. Whatever is not plain (device paths, drive-relative paths,
// doubled separators, names ending in a dot or blank, ".." above the root)
// stays as written: it then names nothing the walk lists, never something else.
std::wstring ResolveDotSegments(const std::wstring& path)
{
    auto isDots = [](std::wstring_view s) { return s == L"." || s == L".."; };
    // Fast way out: no dot segment at all.
    bool hasDots = false;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (isDots(std::wstring_view(path).substr(start, end - start))) {
            hasDots = true;
            break;
        }
        start = end + 1;
    }
    if (!hasDots) return path;

    size_t rootEnd = 0;   // the root, with its separator, is never touched
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    if (path.starts_with(L"\\\\")) {
        size_t server = path.find(L'\\', 2);
        if (server == std::wstring::npos || server == 2) return path;
        size_t share = path.find(L'\\', server + 1);
        if (share == std::wstring::npos || share == server + 1) return path;
        rootEnd = share + 1;
    } else if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        rootEnd = 3;
    } else if (!path.empty() && path[0] == L'\\') {
        rootEnd = 1;
    } else {
        return path;
    }
    const bool trailing = path.size() > rootEnd && path.back() == L'\\';
    const size_t restEnd = trailing ? path.size() - 1 : path.size();

    std::vector<std::wstring_view> kept;
    const std::wstring_view view(path);
    for (size_t start = rootEnd; start <= restEnd;) {
        size_t end = view.find(L'\\', start);
        if (end == std::wstring_view::npos || end > restEnd) end = restEnd;
        std::wstring_view segment = view.substr(start, end - start);
        start = end + 1;
        if (segment.empty()) return path;
        if (segment == L".") continue;
        if (segment == L"..") {
            if (kept.empty()) return path;
            kept.pop_back();
            continue;
        }
        if (segment.back() == L'.' || segment.back() == L' ') return path;
        kept.push_back(segment);
    }
    std::wstring resolved(path, 0, rootEnd);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i) resolved.push_back(L'\\');
        resolved.append(kept[i]);
    }
    if (trailing && !kept.empty()) resolved.push_back(L'\\');
    return resolved;
}

} // namespace

BOOL ReadTextFile(const std::wstring& path, std::wstring& text)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    const DWORD length = size.LowPart;
    // Eight zero bytes after the data terminate the text in any encoding.
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[static_cast<size_t>(length) + 8]);
    if (!buffer) {
        ::SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.get(), length, &got, nullptr) || got < length) return FALSE;
    std::memset(buffer.get() + length, 0, 8);

    const TEXT_ENCODING_MARK mark = DetectTextEncoding(buffer.get(), length);
    BOOL ok = ConvertText(buffer.get() + mark.markLength, length - mark.markLength, mark.encoding, text);
    DWORD error = ok ? 0 : ::GetLastError();
    buffer.reset();
    file.reset();
    ::SetLastError(error);
    return ok;
}

void LoadProtectedList(const std::wstring& folder, ProtectedList& list)
{
    const std::wstring base = NormalizeFolderPath(folder, TRUE);
    if (base.empty()) return;   // an empty path would name a file of the current folder
    const std::wstring file = base + kDoNotDeleteFileName;
    // One existence test per folder: most folders have no such file.
    if (!IsExistingFile(file)) return;

    std::wstring text;
    if (!ReadTextFile(file, text)) {
        EngineBeep(MB_ICONEXCLAMATION);
        return;
    }
    if (text.empty()) return;

    // CR LF (and any mix with LF): the carriage returns go; CR alone: old Mac lines.
    const bool hasCr = text.find(L'\r') != std::wstring::npos;
    const bool hasLf = text.find(L'\n') != std::wstring::npos;
    wchar_t separator = L'\n';
    if (hasCr && hasLf) text = RemoveChar(std::move(text), L'\r');
    else if (hasCr) separator = L'\r';

    for (const std::wstring& token : SplitTokens(text, std::wstring_view(&separator, 1))) {
        std::wstring line = TrimWhiteSpace(token);
        if (line.empty()) continue;
        for (wchar_t& c : line)
            if (c == L'/') c = L'\\';
        std::wstring candidate = IsRelativePath(line) ? base + line : std::move(line);
        candidate = ResolveDotSegments(candidate);

        int isFolder;
        if (IsExistingFile(candidate)) isFolder = 0;
        else if (::PathFileExistsW(candidate.c_str()) && ::PathIsDirectoryW(candidate.c_str())) isFolder = 1;
        else continue;   // names nothing (now): nothing to protect

        // Compared as written, before a folder loses its trailing separator.
        bool duplicate = false;
        for (const ITEM_2_KEEP& kept : list) {
            if (kept.isFolder == isFolder && PathsEqual(kept.path, candidate)) {
                duplicate = true;
                break;
            }
        }
        if (duplicate) continue;
        if (isFolder) candidate = NormalizeFolderPath(candidate, FALSE);
        list.push_back({isFolder, std::move(candidate)});
    }
}
