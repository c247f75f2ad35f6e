#include "engine/SolutionDetect.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <vector>

#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace {

// The full path without trailing separators ("C:\\" stays as it is).
std::wstring FullFolderPath(const std::wstring& folder)
{
    std::wstring trimmed = TrimBlanks(folder);
    if (trimmed.empty()) return {};
    DWORD needed = ::GetFullPathNameW(trimmed.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    DWORD got = ::GetFullPathNameW(trimmed.c_str(), needed, full.data(), nullptr);
    full.resize(got < needed ? got : 0);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

std::wstring KnownFolder(int csidl)
{
    wchar_t buffer[MAX_PATH] = L"";
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return FullFolderPath(buffer);
}

bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && !b.empty() &&
           ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

} // namespace

bool IsTopLevelFolder(const std::wstring& folder)
{
    const std::wstring full = FullFolderPath(folder);
    if (full.empty()) return false;
    if (::PathIsRootW(full.c_str()) || (full.size() == 2 && full[1] == L':')) return true;

    wchar_t windows[MAX_PATH] = L"";
    UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring profile = KnownFolder(CSIDL_PROFILE);
    const std::wstring profiles = GetParentPath(profile);
    std::vector<std::wstring> refused = {
        length && length < MAX_PATH ? FullFolderPath(windows) : std::wstring(),
        KnownFolder(CSIDL_WINDOWS),
        KnownFolder(CSIDL_PROGRAM_FILES),
        KnownFolder(CSIDL_PROGRAM_FILESX86),
        KnownFolder(CSIDL_PROGRAM_FILES_COMMON),
        profile,
        profiles,
    };
    // A 32-bit program is told the 32-bit folder; the other one counts too.
    wchar_t other[MAX_PATH] = L"";
    DWORD got = ::GetEnvironmentVariableW(L"ProgramW6432", other, MAX_PATH);
    if (got && got < MAX_PATH) refused.push_back(FullFolderPath(other));

    for (const std::wstring& r : refused)
        if (SameFolder(full, r)) return true;
    // Any user's own profile folder sits directly in the profiles folder.
    return SameFolder(GetParentPath(full), profiles);
}

BOOL FindSolutionFile(const std::wstring& folder, const wchar_t* extension, std::wstring* outBaseName)
{
    std::wstring baseName;
    BOOL found = FALSE;
    DWORD error = ERROR_NO_MORE_FILES;

    DirListing listing;
    if (!listing.Open(NormalizeFolderPath(folder, TRUE))) {
        error = listing.EndError();
    } else {
        const WIN32_FIND_DATAW* e;
        while (listing.Next(e)) {
            if (DirListing::IsDirectory(*e)) continue;   // a folder named App.sln does not count
            const wchar_t* ext = FindExtension(e->cFileName);
            if (*ext && NameEquals(ext, extension)) {
                found = TRUE;
                baseName.assign(e->cFileName, ext);
                break;
            }
        }
        if (!found) error = listing.EndError();
    }
    if (outBaseName) *outBaseName = baseName;
    ::SetLastError(error);
    return found && error == ERROR_NO_MORE_FILES;
}
