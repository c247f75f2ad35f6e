#include "engine/Rules.h"

#include <algorithm>

#include "engine/ProtectedListReader.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace {

// Files planned anywhere outside "release" folders, in test order. ".suo" counts
// only with the delete-.suo option on.
constexpr const wchar_t* kIntermediateExtensions[] = {
    L".ncb", L".suo", L".sdf", L".aps", L".bsc", L".log", L".tlog", L".user", L".sbr",
};

// Products that a "release" folder keeps; everything else in it is planned.
constexpr const wchar_t* kReleaseProductExtensions[] = {
    L".exe", L".dll", L".sys", L".scr", L".msi", L".msp", L".appx",
    L".pdb", L".lib", L".inf", L".cer", L".cat", L".wixpdb",
};
// Files a .NET product needs beside it to start, kept like the products.
constexpr const wchar_t* kReleaseProductSuffixes[] = {
    L".exe.config", L".dll.config", L".deps.json", L".runtimeconfig.json",
};

// "Mopwright (do not delete).txt", in any case; the length test first, since
// nearly every name fails it.
bool IsKeepListName(const wchar_t* name)
{
    constexpr size_t kLength = sizeof(kDoNotDeleteFileName) / sizeof(wchar_t) - 1;
    return wcslen(name) == kLength && NameEquals(name, kDoNotDeleteFileName);
}

bool EndsWith(const wchar_t* name, const wchar_t* suffix)
{
    const size_t n = wcslen(name), s = wcslen(suffix);
    return n > s && NameEquals(name + n - s, suffix);
}

enum class FileRule { General, Release };

ULONGLONG WriteTime(const WIN32_FIND_DATAW& e)
{
    return (static_cast<ULONGLONG>(e.ftLastWriteTime.dwHighDateTime) << 32) | e.ftLastWriteTime.dwLowDateTime;
}


bool IsIntermediateFile(const wchar_t* name, bool deleteSuo)
{
    const wchar_t* ext = FindExtension(name);
    if (!*ext) return false;
    for (const wchar_t* known : kIntermediateExtensions) {
        if (!deleteSuo && known == kIntermediateExtensions[1]) continue;
        if (NameEquals(ext, known)) return true;
    }
    return false;
}

bool IsReleaseProduct(const wchar_t* name)
{
    const wchar_t* ext = FindExtension(name);
    if (!*ext) return false;
    for (const wchar_t* known : kReleaseProductExtensions)
        if (NameEquals(ext, known)) return true;
    for (const wchar_t* suffix : kReleaseProductSuffixes)
        if (EndsWith(name, suffix)) return true;
    return false;
}

// The main walk. One path buffer serves the whole walk: each level appends an
// entry's name to it and cuts it back, so every path is built once.
class ArtifactWalk {
public:
    ArtifactWalk(DeletePlan& plan, bool deleteSuo, ProtectedList& protectedList)
        : m_plan(plan), m_deleteSuo(deleteSuo), m_protected(protectedList) {}

    // The folder being visited, always ending in one backslash.
    std::wstring path;
    // A do-not-delete file that could not be read (the walk then fails).
    std::wstring unreadableList;
    // The latest write time of a file that stays, outside `ageSkipFolder`
    // (with its trailing backslash).
    ULONGLONG newestKept = 0;
    std::wstring ageSkipFolder;

    // Visits the folder in `path`, whose own name is `name`. The solution folder
    // is exempt from the folder-name tests: its name says nothing about its use.
    BOOL Visit(const wchar_t* name, bool insideRelease, bool exempt, bool countAge = true)
    {
        if (countAge && path.size() == ageSkipFolder.size() && NameEquals(path.c_str(), ageSkipFolder.c_str()))
            countAge = false;
        FileRule rule = FileRule::General;
        if (!exempt) {
            if (NameEquals(name, L"debug")) return PlanWhole(DEL_TYPE_FOLDER_NO_RECURSION);
            if (NameEquals(name, L"ipch") || NameEquals(name, L"obj")) return PlanWhole(DEL_TYPE_FOLDER_TREE);
            if (insideRelease && NameEquals(FindExtension(name), L".tlog")) return PlanWhole(DEL_TYPE_FOLDER_TREE);
            if (IsSweptFolderName(name)) {
                if (NameEquals(name, L"release")) rule = FileRule::Release;
                m_plan.push_back({path, DEL_TYPE_EMPTY_FOLDER});
            }
        }

        return EachEntry(
            [&](const WIN32_FIND_DATAW& e) {
                // A .tlog folder is build output only inside a release folder,
                // never inside the solution folder.
                return Visit(e.cFileName, rule == FileRule::Release, false, countAge);
            },
            [&](const WIN32_FIND_DATAW& e) {
                const wchar_t* entryName = e.cFileName;
                // A do-not-delete file is read wherever it lies, and never planned.
                const bool planned = !IsKeepListName(entryName) &&
                                     (rule == FileRule::Release ? !IsReleaseProduct(entryName)
                                                                : IsIntermediateFile(entryName, m_deleteSuo));
                if (planned) {
                    m_plan.push_back({JoinPath(path, entryName), DEL_TYPE_FILE, DirListing::FileBytes(e)});
                    return TRUE;
                }
                if (countAge) newestKept = std::max(newestKept, WriteTime(e));
                return !IsKeepListName(entryName) || ReadList(entryName) ? TRUE : FALSE;
            });
    }

private:
    // A folder planned whole is still looked through, links never followed:
    // a do-not-delete file deep inside it counts, and its bytes are summed.
    BOOL PlanWhole(int type)
    {
        const size_t index = m_plan.size();
        m_plan.push_back({path, type, 0});
        unsigned long long bytes = 0;
        if (!LookThrough(bytes)) return FALSE;
        m_plan[index].bytes = bytes;
        ::SetLastError(0);
        return TRUE;
    }

    BOOL LookThrough(unsigned long long& bytes)
    {
        return EachEntry([&](const WIN32_FIND_DATAW&) { return LookThrough(bytes); },
                         [&](const WIN32_FIND_DATAW& e) {
                             bytes += DirListing::FileBytes(e);
                             return !IsKeepListName(e.cFileName) || ReadList(e.cFileName) ? TRUE : FALSE;
                         });
    }

    // Lists the folder in `path`. Each sub-folder goes to `onFolder` while
    // `path` names it (with its backslash); each file goes to `onFile`. Links
    // lead out of the tree: neither planned nor entered. FALSE with the error
    // of the listing, or as a callback left it.
    template <typename OnFolder, typename OnFile>
    BOOL EachEntry(OnFolder onFolder, OnFile onFile)
    {
        DirListing listing;
        if (!listing.Open(path)) {
            ::SetLastError(listing.EndError());
            return FALSE;
        }
        const size_t length = path.size();
        const WIN32_FIND_DATAW* entry = nullptr;
        while (listing.Next(entry)) {
            if (DirListing::IsLink(*entry)) continue;
            if (!DirListing::IsDirectory(*entry)) {
                if (!onFile(*entry)) return FALSE;
                continue;
            }
            // The entry stays valid: this listing does not move on until the
            // sub-folder is done.
            AppendPath(path, entry->cFileName).push_back(L'\\');
            const BOOL ok = onFolder(*entry);
            const DWORD error = ::GetLastError();
            path.resize(length);
            if (!ok) {
                ::SetLastError(error);
                return FALSE;   // the listing closes without touching the error
            }
        }
        const DWORD end = listing.EndError();
        ::SetLastError(end);
        return end == ERROR_NO_MORE_FILES;
    }

    BOOL ReadList(const wchar_t* name)
    {
        const std::wstring file = JoinPath(path, name);
        if (ReadProtectedListFile(file, m_protected)) return TRUE;
        const DWORD error = ::GetLastError();
        unreadableList = file;
        ::SetLastError(error);
        return FALSE;
    }

    DeletePlan& m_plan;
    const bool m_deleteSuo;
    ProtectedList& m_protected;
};

// The .vs walk on `path` (ending in one backslash); post-order, so everything
// inside a folder is planned before the folder.
// `bytes` grows by the files below the folder; `newestKept` is the latest
// write time of the files that stay.
BOOL VisitVsFolder(std::wstring& path, DeletePlan& vsPlan, unsigned long long& bytes, ULONGLONG& newestKept)
{
    const size_t length = path.size();
    DirListing listing;
    if (!listing.Open(path)) {
        vsPlan.push_back({path.substr(0, length - 1), DEL_TYPE_FOLDER_NO_RECURSION});
        return TRUE;
    }
    bool whole = true;
    struct SEEN_FILE {
        std::wstring name;
        unsigned long long bytes;
    };
    std::vector<SEEN_FILE> files;
    unsigned long long below = 0;
    const WIN32_FIND_DATAW* entry = nullptr;
    while (listing.Next(entry)) {
        const wchar_t* name = entry->cFileName;
        // As in the main walk: a link is neither planned nor entered, so nothing
        // outside .vs is reached. Moving its folder moves only the link.
        if (DirListing::IsLink(*entry)) continue;
        if (DirListing::IsDirectory(*entry)) {
            AppendPath(path, name).push_back(L'\\');
            if (!VisitVsFolder(path, vsPlan, below, newestKept)) whole = false;
            path.resize(length);
        } else if (NameEquals(name, L".suo")) {
            whole = false;   // the solution's user options survive, and so does their folder
            newestKept = std::max(newestKept, WriteTime(*entry));
        } else {
            files.push_back({name, DirListing::FileBytes(*entry)});
            below += DirListing::FileBytes(*entry);
        }
    }
    bytes += below;
    // A listing that broke off may have hidden a ".suo" file: keep the folder
    // and plan only the files that were seen.
    if (listing.EndError() != ERROR_NO_MORE_FILES) whole = false;

    if (!whole) {
        for (const SEEN_FILE& file : files) vsPlan.push_back({JoinPath(path, file.name), DEL_TYPE_FILE, file.bytes});
        return FALSE;
    }
    vsPlan.push_back({path.substr(0, length - 1), DEL_TYPE_FOLDER_NO_RECURSION, below});
    return TRUE;
}

// `folder` without blanks around it and with exactly one trailing backslash;
// empty when nothing is left.
std::wstring FolderPrefix(const std::wstring& folder)
{
    std::wstring prefix = NormalizeFolderPath(folder, FALSE);
    if (!prefix.empty()) prefix.push_back(L'\\');
    return prefix;
}

} // namespace

bool IsSweptFolderName(const wchar_t* name)
{
    return NameEquals(name, L"release") || NameEquals(name, L"x64") || NameEquals(name, L"arm64");
}

BOOL FindSubfolder(const std::wstring& parentFolder, const wchar_t* name, std::wstring& outPath)
{
    outPath.clear();
    if (!name || !*name) {
        ::SetLastError(0);
        return FALSE;
    }
    std::wstring prefix = FolderPrefix(parentFolder);
    if (prefix.empty()) {
        // An empty path would list the current folder instead.
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    DirListing listing;
    if (!listing.Open(prefix)) {
        ::SetLastError(listing.EndError());
        return FALSE;
    }
    const WIN32_FIND_DATAW* entry = nullptr;
    while (listing.Next(entry)) {
        if (!DirListing::IsDirectory(*entry)) continue;
        if (NameEquals(entry->cFileName, name)) {
            outPath = JoinPath(prefix, entry->cFileName);
            listing.Close();
            ::SetLastError(ERROR_NO_MORE_FILES);
            return TRUE;
        }
    }
    ::SetLastError(listing.EndError());
    return FALSE;
}

BOOL CollectVsTree(const std::wstring& folder, DeletePlan& vsPlan, ULONGLONG* newestKept)
{
    std::wstring path = FolderPrefix(folder);
    if (path.empty()) return FALSE;   // nothing to walk, nothing planned
    unsigned long long bytes = 0;
    ULONGLONG newest = 0;
    BOOL whole = VisitVsFolder(path, vsPlan, bytes, newest);
    if (newestKept) *newestKept = std::max(*newestKept, newest);
    return whole;
}

BOOL CollectVsFolder(const std::wstring& solutionFolder, const std::wstring& baseName, BOOL deleteSuo,
                     DeletePlan& vsPlan, ULONGLONG* newestKept)
{
    if (NormalizeFolderPath(solutionFolder, FALSE).empty() || baseName.empty()) {
        ::SetLastError(ERROR_INVALID_BLOCK);
        return FALSE;
    }
    std::wstring vsFolder;
    if (!FindSubfolder(solutionFolder, L".vs", vsFolder)) {
        ::SetLastError(0);
        return TRUE;
    }
    // The folder named after the solution only tells that this .vs is ours; the
    // rule then covers the whole .vs folder.
    std::wstring solutionState;
    if (FindSubfolder(vsFolder, baseName.c_str(), solutionState) ||
        FindSubfolder(vsFolder, (baseName + L".slnx").c_str(), solutionState)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(LongPathForm(vsFolder).c_str(), GetFileExInfoStandard, &data)) return FALSE;
        const DWORD attributes = data.dwFileAttributes;
        // Only the hidden .vs that the IDE creates is ours to take; a .vs that is
        // a link is left alone like every other link.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            if (deleteSuo & 1) {
                // Whole, as it is; the walk only counts what it holds.
                DeletePlan inside;
                CollectVsTree(vsFolder, inside);
                unsigned long long bytes = 0;
                for (const ITEM_2_DELETE& item : inside) bytes += item.bytes;
                vsPlan.push_back({vsFolder, DEL_TYPE_FOLDER_TREE, bytes});
            } else {
                CollectVsTree(vsFolder, vsPlan, newestKept);
            }
        }
    }
    ::SetLastError(0);
    return TRUE;
}

BOOL CollectArtifacts(const std::wstring& folder, DeletePlan& mainPlan, BOOL deleteSuo,
                      ProtectedList& protectedList, bool isSolutionFolder, WALK_EXTRAS* extras)
{
    const std::wstring own = NormalizeFolderPath(folder, FALSE);
    if (own.empty()) {
        // An empty path would walk the current folder instead.
        ::SetLastError(ERROR_INVALID_BLOCK);
        return FALSE;
    }
    ArtifactWalk walk(mainPlan, (deleteSuo & 1) != 0, protectedList);
    if (extras && !extras->ageSkipFolder.empty()) walk.ageSkipFolder = FolderPrefix(extras->ageSkipFolder);
    walk.path.reserve(own.size() + MAX_PATH);
    walk.path.append(own).push_back(L'\\');
    // The views end where their strings end, so they are terminated names.
    const wchar_t* name = FileNamePart(own).data();
    bool insideRelease = false;
    if (!isSolutionFolder) {
        const std::wstring parent = GetParentPath(own);
        insideRelease = NameEquals(FileNamePart(parent).data(), L"release");
    }
    BOOL ok = walk.Visit(name, insideRelease, isSolutionFolder);
    const DWORD error = ::GetLastError();
    if (extras) {
        extras->unreadableList = walk.unreadableList;
        extras->newestKept = walk.newestKept;
    }
    ::SetLastError(error);
    return ok;
}
