#include "engine/SolutionDetect.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace {

// The full path without trailing separators ("C:\\" stays as it is).
std::wstring FullFolderPath(const std::wstring& folder)
{
    std::wstring full = FullPath(folder);
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

namespace {

// TRUE when the file `name` has the extension `extension`, as a solution file.
bool HasSolutionExtension(const wchar_t* name, const wchar_t* extension)
{
    const wchar_t* ext = FindExtension(name);
    return *ext && NameEquals(ext, extension);
}

} // namespace

BOOL FindSolutionFile(const std::wstring& folder, const wchar_t* extension, std::wstring* outBaseName)
{
    std::wstring baseName;
    bool found = false;
    const LISTING_END end = ForEachEntry(NormalizeFolderPath(folder, TRUE), [&](const WIN32_FIND_DATAW& e) {
        // A folder named App.sln does not count.
        if (DirListing::IsDirectory(e) || !HasSolutionExtension(e.cFileName, extension)) return true;
        found = true;
        baseName.assign(e.cFileName, FindExtension(e.cFileName));
        return false;
    });
    if (outBaseName) *outBaseName = baseName;
    ::SetLastError(end.error);
    return found;
}

namespace {

bool IsSolutionFileName(const wchar_t* name)
{
    for (const wchar_t* known : kSolutionExtensions)
        if (HasSolutionExtension(name, known)) return true;
    return false;
}

// Folders a clean-up removes whole, and the repository's own store: nothing
// below them is a solution anyone cleans.
bool IsSkippedFolderName(const wchar_t* name)
{
    for (const wchar_t* skipped : {L"Debug", L"obj", L"ipch", L".vs", L".git"})
        if (NameEquals(name, skipped)) return true;
    return false;
}

void SearchFolder(const std::wstring& folder, std::vector<std::wstring>& found, std::vector<std::wstring>* unreadable)
{
    std::vector<std::wstring> subfolders;
    bool holdsSolution = false;
    const LISTING_END end = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        if (DirListing::IsLink(e)) return;
        if (!DirListing::IsDirectory(e)) holdsSolution = holdsSolution || IsSolutionFileName(e.cFileName);
        else if (!IsSkippedFolderName(e.cFileName)) subfolders.push_back(JoinPath(folder, e.cFileName));
    });
    if (end.Failed() && unreadable) unreadable->push_back(folder);
    if (!end.opened) return;
    if (holdsSolution) found.push_back(folder);
    for (const std::wstring& sub : subfolders) SearchFolder(sub, found, unreadable);
}

} // namespace

std::vector<std::wstring> FindSolutionFolders(const std::vector<std::wstring>& roots, std::vector<std::wstring>* unreadable)
{
    std::vector<std::wstring> found;
    for (const std::wstring& root : roots) {
        const std::wstring start = CanonicalPath(NormalizeFolderPath(root, FALSE));
        if (!start.empty()) SearchFolder(start, found, unreadable);
    }
    // Path order, case ignored, with '\\' before every other character, so
    // that a folder's whole tree follows it; each folder once.
    auto key = [](const std::wstring& path) {
        std::wstring k = FoldPathCase(path);
        for (wchar_t& c : k)
            if (c == L'\\') c = 1;
        return k;
    };
    std::sort(found.begin(), found.end(), [&](const std::wstring& a, const std::wstring& b) { return key(a) < key(b); });
    std::unordered_set<std::wstring> seen;
    std::vector<std::wstring> unique;
    for (std::wstring& f : found)
        if (seen.insert(FoldPathCase(f)).second) unique.push_back(std::move(f));
    return unique;
}
