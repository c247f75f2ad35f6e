#include "engine/planning/SolutionDetect.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "engine/planning/Collectors.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"

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
// below them is a solution anyone cleans (nor below the Recycle Bin's store).
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
        else if (!IsSkippedFolderName(e.cFileName) && !IsRecycleBinStore(folder, e.cFileName))
            subfolders.push_back(JoinPath(folder, e.cFileName));
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
