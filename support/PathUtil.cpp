#include "support/PathUtil.h"

#include <shlwapi.h>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
constexpr std::wstring_view kBlanks = L" \t\r\n";
}

std::wstring TrimBlanks(std::wstring_view text)
{
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return std::wstring(text.substr(first, last - first + 1));
}

std::wstring TrimWhiteSpace(std::wstring_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && std::iswspace(text[b])) ++b;
    while (e > b && std::iswspace(text[e - 1])) --e;
    return std::wstring(text.substr(b, e - b));
}

std::wstring RemoveChar(std::wstring text, wchar_t ch)
{
    std::erase(text, ch);
    return text;
}

std::vector<std::wstring> SplitTokens(std::wstring_view text, std::wstring_view separators)
{
    std::vector<std::wstring> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(separators, pos);
        if (start == std::wstring_view::npos) break;
        size_t end = text.find_first_of(separators, start);
        if (end == std::wstring_view::npos) end = text.size();
        tokens.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return tokens;
}

std::wstring FormatText(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int len = std::vswprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::wstring out;
    if (len > 0) {
        out.resize(static_cast<size_t>(len));
        std::vswprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

std::wstring NormalizeFolderPath(const std::wstring& path, BOOL trailingSeparator)
{
    std::wstring result = TrimBlanks(path);
    if (result.empty()) return result;
    if (trailingSeparator) {
        if (!IsSeparator(result.back())) result.push_back(L'\\');
    } else if (IsSeparator(result.back())) {
        result.pop_back();
    }
    return result;
}

std::wstring NormalizeFolderPath(const wchar_t* path, BOOL trailingSeparator)
{
    return NormalizeFolderPath(std::wstring(path ? path : L""), trailingSeparator);
}

std::wstring GetParentPath(const std::wstring& path)
{
    size_t pos = path.rfind(L'\\');
    if (pos == std::wstring::npos) pos = path.rfind(L'/');
    if (pos == std::wstring::npos) return {};
    return path.substr(0, pos);
}

BOOL IsRelativePath(const std::wstring& path)
{
    if (path.empty()) return TRUE;
    if (IsSeparator(path[0])) return FALSE;
    if (path.size() >= 2 && path[1] == L':') return FALSE;
    return TRUE;
}

BOOL IsExistingFile(const std::wstring& path)
{
    const std::wstring target = LongPathForm(path);
    if (!::PathFileExistsW(target.c_str())) {
        DWORD err = ::GetLastError();
        ::SetLastError(err);
        return FALSE;
    }
    if (::PathIsDirectoryW(target.c_str())) {
        ::SetLastError(ERROR_BAD_FORMAT);
        return FALSE;
    }
    ::SetLastError(0);
    return TRUE;
}

BOOL PathsEqual(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                            b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::wstring_view FileNamePart(const std::wstring& path)
{
    const wchar_t* name = ::PathFindFileNameW(path.c_str());
    return std::wstring_view(name, path.c_str() + path.size() - name);
}

const wchar_t* FindExtension(const wchar_t* name)
{
    return ::PathFindExtensionW(name);
}


std::wstring CanonicalPath(std::wstring_view input)
{
    std::wstring path(input);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.starts_with(L"\\\\?\\UNC\\")) path.replace(0, 8, L"\\\\");
    else if (path.starts_with(L"\\\\?\\") && path.size() >= 6 && path[5] == L':') path.erase(0, 4);

    size_t rootEnd;   // the root with its separator(s); never resolved away
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\' && iswalpha(path[0])) {
        rootEnd = 3;
    } else if (path.starts_with(L"\\\\") && !path.starts_with(L"\\\\?\\") && !path.starts_with(L"\\\\.\\")) {
        // \\server\share: both names belong to the root.
        size_t server = path.find_first_not_of(L'\\', 2);
        size_t serverEnd = server == std::wstring::npos ? std::wstring::npos : path.find(L'\\', server);
        size_t share = serverEnd == std::wstring::npos ? std::wstring::npos : path.find_first_not_of(L'\\', serverEnd);
        if (share == std::wstring::npos) return path;
        size_t shareEnd = path.find(L'\\', share);
        std::wstring root = L"\\\\" + path.substr(server, serverEnd - server) + L"\\" +
                            path.substr(share, shareEnd == std::wstring::npos ? std::wstring::npos : shareEnd - share);
        path = root + (shareEnd == std::wstring::npos ? std::wstring() : path.substr(shareEnd));
        rootEnd = root.size();
    } else {
        return path;
    }
    // Fast way out: nothing to collapse, resolve or strip.
    bool plain = path.size() == rootEnd || path.back() != L'\\';
    for (size_t i = rootEnd; plain && i < path.size(); ++i) {
        if (path[i] != L'\\' && path[i] != L'.') continue;
        const bool segmentStart = i == rootEnd || path[i - 1] == L'\\';
        if (path[i] == L'\\' && segmentStart) plain = false;   // a doubled separator
        if (path[i] == L'.' && segmentStart) {
            size_t end = path.find(L'\\', i);
            std::wstring_view segment = std::wstring_view(path).substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
            if (segment == L"." || segment == L"..") plain = false;
        }
    }
    if (plain) return path;

    std::vector<std::wstring_view> kept;
    const std::wstring_view view(path);
    for (size_t start = rootEnd; start < view.size();) {
        size_t end = view.find(L'\\', start);
        if (end == std::wstring_view::npos) end = view.size();
        std::wstring_view segment = view.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == L".") continue;
        if (segment == L"..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(segment);
    }
    std::wstring result(path, 0, rootEnd);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i || result.back() != L'\\') result.push_back(L'\\');
        result.append(kept[i]);
    }
    return result;
}

std::wstring PathKey(const std::wstring& path)
{
    return FoldPathCase(CanonicalPath(NormalizeFolderPath(path, FALSE)));
}

std::wstring FoldPathCase(std::wstring_view path)
{
    std::wstring folded(path);
    if (!folded.empty()) {
        // Simple per-character upper case, the same in every locale, as NTFS
        // compares names; plain ASCII needs no call at all.
        bool ascii = true;
        for (wchar_t& c : folded) {
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
            else if (c >= 0x80) ascii = false;
        }
        if (!ascii)
            ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folded.data(), static_cast<int>(folded.size()),
                            folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0);
    }
    return folded;
}

std::wstring FullPath(const std::wstring& path)
{
    const std::wstring trimmed = TrimBlanks(path);
    const DWORD needed = trimmed.empty() ? 0 : ::GetFullPathNameW(trimmed.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return trimmed;
    std::wstring full(needed, L'\0');
    const DWORD got = ::GetFullPathNameW(trimmed.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) return trimmed;
    full.resize(got);
    return full;
}

bool HasStrippedComponent(std::wstring_view path)
{
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c != L'.' && c != L' ') continue;
        const bool endOfComponent = i + 1 == path.size() || IsSeparator(path[i + 1]);
        if (!endOfComponent) continue;
        // "." and ".." are segments of their own, not names that lose a dot;
        // so is the "?" device prefix.
        size_t start = i;
        while (start > 0 && !IsSeparator(path[start - 1])) --start;
        std::wstring_view name = path.substr(start, i + 1 - start);
        if (name == L"." || name == L"..") continue;
        return true;
    }
    return false;
}

std::wstring LongPathForm(const std::wstring& path)
{
    // Below this the ordinary form reaches every object, whatever the system's
    // long-path setting; a listing pattern adds two characters.
    constexpr size_t kOrdinaryLimit = MAX_PATH - 12;
    if (path.size() < kOrdinaryLimit && !HasStrippedComponent(path)) return path;
    if (path.find(L'/') != std::wstring::npos) return path;
    if (path.find(L"\\\\", 2) != std::wstring::npos) return path;   // doubled separators stay ordinary
    if (path.find(L"\\.\\") != std::wstring::npos || path.find(L"\\..\\") != std::wstring::npos) return path;
    if (path.ends_with(L"\\.") || path.ends_with(L"\\..")) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\' && iswalpha(path[0])) return L"\\\\?\\" + path;
    if (path.starts_with(L"\\\\") && !path.starts_with(L"\\\\?\\") && !path.starts_with(L"\\\\.\\"))
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring& AppendPath(std::wstring& base, std::wstring_view name)
{
    if (!base.empty() && !IsSeparator(base.back())) base.push_back(L'\\');
    base.append(name);
    return base;
}

std::wstring JoinPath(std::wstring_view base, std::wstring_view name)
{
    std::wstring path;
    path.reserve(base.size() + 1 + name.size());
    path.assign(base);
    AppendPath(path, name);
    return path;
}

using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// A 32-bit process on a 64-bit system sees a redirected system folder: the
// existence test alone looks at the real file system.
bool FolderExists(const std::wstring& folder)
{
    static const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    static const auto disable =
        kernel ? reinterpret_cast<Wow64DisableFn>(
                     reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")))
               : nullptr;
    static const auto revert =
        kernel ? reinterpret_cast<Wow64RevertFn>(
                     reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")))
               : nullptr;
    const bool switchable = disable && revert;
    PVOID previous = nullptr;
    if (switchable) disable(&previous);
    const std::wstring target = LongPathForm(folder);
    const bool exists = ::PathFileExistsW(target.c_str()) && ::PathIsDirectoryW(target.c_str());
    if (switchable) revert(previous);
    return exists;
}

bool NameEquals(const wchar_t* a, const wchar_t* b)
{
    for (size_t i = 0;; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= 0x80 || y >= 0x80) return ::lstrcmpiW(a, b) == 0;
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x + 32);
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y + 32);
        if (x != y) {
            // Only letters fold; any other ASCII difference is a difference,
            // unless the rest is not ASCII (left to the system).
            for (size_t j = i; a[j] || b[j]; ++j)
                if (a[j] >= 0x80 || b[j] >= 0x80) return ::lstrcmpiW(a, b) == 0;
            return false;
        }
        if (x == 0) return true;
    }
}

std::wstring ModulePath(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
