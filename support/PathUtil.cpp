#include "support/PathUtil.h"

#include <shlwapi.h>
#include <cstdarg>
#include <cwchar>
#include <cwctype>

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
    if (!::PathFileExistsW(path.c_str())) {
        DWORD err = ::GetLastError();
        ::SetLastError(err);
        return FALSE;
    }
    if (::PathIsDirectoryW(path.c_str())) {
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
