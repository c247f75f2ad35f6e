#include "engine/planning/Collectors.h"

#include <algorithm>

#include "engine/planning/KeepListReader.h"
#include "engine/planning/TopLevelFolder.h"
#include "support/DirListing.h"
#include "support/ListingAhead.h"
#include "support/PathUtil.h"
#include "support/Utf8.h"

namespace {

// Files planned anywhere outside "release" folders, in test order. ".suo" counts
// only with the delete-.suo option on.
constexpr const wchar_t* kIntermediateExtensions[] = {
    L".ncb", kSuoExtension, L".sdf", L".aps", L".bsc", L".log", L".tlog", L".user", L".sbr",
};

// Products that a "release" folder keeps; everything else in it is planned.
constexpr const wchar_t* kReleaseProductExtensions[] = {
    L".exe", L".dll", L".sys", L".scr", L".msi", L".msp", L".appx",
    L".pdb", L".lib", L".inf", L".cer", L".cat", L".wixpdb",
};
// Both lists are plain ASCII in lower case, as FoldedExtension compares them.
constexpr bool IsLowerAscii(const wchar_t* text)
{
    for (; *text; ++text)
        if (*text >= 0x80 || (*text >= L'A' && *text <= L'Z')) return false;
    return true;
}
template <size_t N>
constexpr bool AreLowerAscii(const wchar_t* const (&list)[N])
{
    for (const wchar_t* text : list)
        if (!IsLowerAscii(text)) return false;
    return true;
}
static_assert(AreLowerAscii(kIntermediateExtensions) && AreLowerAscii(kReleaseProductExtensions));

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

// ".git", in any case: a working tree's repository, or the file naming it.
bool IsGitName(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] | 0x20) == L'g' && (name[2] | 0x20) == L'i' && (name[3] | 0x20) == L't' &&
           name[4] == 0;
}

bool EndsWith(const wchar_t* name, const wchar_t* suffix)
{
    const size_t n = wcslen(name), s = wcslen(suffix);
    return n > s && NameEquals(name + n - s, suffix);
}

enum class FileRule { General, Release };

// An extension as the walk compares it with the known ones, all short, plain
// and in lower case: folded once per file instead of once per known extension.
class FoldedExtension {
public:
    explicit FoldedExtension(const wchar_t* ext) : m_ext(ext)
    {
        size_t n = 0;
        for (; ext[n]; ++n) {
            const wchar_t c = ext[n];
            if (c >= 0x80 || n + 1 == kRoom) return;   // NameEquals decides
            m_folded[n] = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c;
        }
        m_folded[n] = 0;
        m_plain = true;
    }
    // The same answer as NameEquals(ext, known) for a known extension.
    bool Is(const wchar_t* known) const { return m_plain ? wcscmp(m_folded, known) == 0 : NameEquals(m_ext, known); }

private:
    static constexpr size_t kRoom = 16;   // longer than any known extension
    const wchar_t* m_ext;
    wchar_t m_folded[kRoom];
    bool m_plain = false;
};

bool IsIntermediateFile(const wchar_t* name, bool deleteSuo)
{
    const wchar_t* ext = FindExtension(name);
    if (!*ext) return false;
    const FoldedExtension folded(ext);
    for (const wchar_t* known : kIntermediateExtensions) {
        if (!deleteSuo && known == kSuoExtension) continue;
        if (folded.Is(known)) return true;
    }
    return false;
}

bool IsReleaseProduct(const wchar_t* name)
{
    const wchar_t* ext = FindExtension(name);
    if (!*ext) return false;
    const FoldedExtension folded(ext);
    for (const wchar_t* known : kReleaseProductExtensions)
        if (folded.Is(known)) return true;
    for (const wchar_t* suffix : kReleaseProductSuffixes)
        if (EndsWith(name, suffix)) return true;
    return false;
}

// `folder` without blanks around it and with exactly one trailing backslash;
// empty when nothing is left.
std::wstring FolderPrefix(const std::wstring& folder)
{
    std::wstring prefix = NormalizeFolderPath(folder, FALSE);
    if (!prefix.empty()) prefix.push_back(L'\\');
    return prefix;
}

// The main walk. One path buffer serves the whole walk: each level appends an
// entry's name to it and cuts it back, so every path is built once. The
// folders it will enter are listed ahead on a second thread.
class ArtifactWalk {
public:
    ArtifactWalk(bool deleteSuo, ProtectedList& protectedList, const WALK_EXTRAS* extras)
        : m_deleteSuo(deleteSuo), m_protected(protectedList), m_nested(extras ? extras->nested : nullptr),
          m_gitEntries(extras ? extras->gitEntries : nullptr) {}

    // The folder being visited, always ending in one backslash.
    std::wstring path;
    // A do-not-delete file that could not be read, or the folder that could not
    // be listed (the walk then fails).
    std::wstring unreadableList;
    std::wstring unlistableFolder;

    // Visits `target`'s solution folder, whose path is in `path`.
    BOOL VisitSolution(WALK_TARGET& target, const wchar_t* name, WalkTop top)
    {
        WALK_TARGET* outer = std::exchange(m_target, &target);
        const std::wstring outerSkip = std::exchange(m_ageSkip, FolderPrefix(target.ageSkipFolder));
        target.reached = true;
        bool insideRelease = false;
        if (top == WalkTop::Subfolder) {
            const std::wstring parent = GetParentPath(NormalizeFolderPath(path, FALSE));
            insideRelease = NameEquals(FileNamePart(parent).data(), L"release");
        }
        const BOOL ok = Visit(name, insideRelease, top == WalkTop::SolutionFolder, true);
        const DWORD error = ::GetLastError();
        m_target = outer;
        m_ageSkip = outerSkip;
        ::SetLastError(error);
        return ok;
    }

private:
    // Visits the folder in `path`, whose own name is `name`. A solution folder
    // is exempt from the folder-name tests: its name says nothing about its use.
    BOOL Visit(const wchar_t* name, bool insideRelease, bool exempt, bool countAge)
    {
        if (countAge && path.size() == m_ageSkip.size() && NameEquals(path.c_str(), m_ageSkip.c_str())) countAge = false;
        FileRule rule = FileRule::General;
        if (!exempt) {
            if (NameEquals(name, L"debug")) return PlanWhole(DEL_TYPE_FOLDER_NO_RECURSION);
            if (NameEquals(name, L"ipch") || NameEquals(name, L"obj")) return PlanWhole(DEL_TYPE_FOLDER_TREE);
            if (insideRelease && NameEquals(FindExtension(name), L".tlog")) return PlanWhole(DEL_TYPE_FOLDER_TREE);
            if (IsSweptFolderName(name)) {
                if (NameEquals(name, L"release")) rule = FileRule::Release;
                m_target->mainPlan->push_back({path, DEL_TYPE_EMPTY_FOLDER});
            }
        }

        return EachEntry(
            [&](const WIN32_FIND_DATAW& e) {
                NoteGit(e, true);
                // A solution planned on its own has a plan of its own.
                // One without a plan is refused: not entered.
                if (WALK_TARGET* nested = NestedTarget(path))
                    return nested->mainPlan ? VisitSolution(*nested, e.cFileName, WalkTop::SolutionFolder) : TRUE;
                // A .tlog folder is build output only inside a release folder,
                // never inside the solution folder.
                return Visit(e.cFileName, rule == FileRule::Release, false, countAge);
            },
            [&](const WIN32_FIND_DATAW& e) {
                NoteGit(e, false);
                const wchar_t* entryName = e.cFileName;
                // A do-not-delete file is read wherever it lies, and never planned.
                const bool isList = IsKeepListName(entryName);
                const bool planned = !isList && (rule == FileRule::Release ? !IsReleaseProduct(entryName)
                                                                           : IsIntermediateFile(entryName, m_deleteSuo));
                if (planned) {
                    m_target->mainPlan->push_back({JoinPath(path, entryName), DEL_TYPE_FILE, DirListing::FileBytes(e)});
                    return TRUE;
                }
                if (countAge) m_target->newestKept = std::max(m_target->newestKept, DirListing::WriteTime(e));
                return !isList || ReadList(entryName) ? TRUE : FALSE;
            });
    }

    // The target of the solution folder `folder` (ending in one backslash), if
    // it is planned on its own.
    WALK_TARGET* NestedTarget(std::wstring_view folder) const
    {
        if (!m_nested || m_nested->empty()) return nullptr;
        const auto found = m_nested->find(FoldPathCase(folder.substr(0, folder.size() - 1)));
        return found == m_nested->end() ? nullptr : found->second;
    }

    // A folder planned whole is still looked through, links never followed:
    // a do-not-delete file deep inside it counts, and its bytes are summed.
    BOOL PlanWhole(int type)
    {
        DeletePlan& plan = *m_target->mainPlan;
        const size_t index = plan.size();
        plan.push_back({path, type, 0});
        unsigned long long bytes = 0;
        if (!LookThrough(bytes)) return FALSE;
        plan[index].bytes = bytes;
        ::SetLastError(0);
        return TRUE;
    }

    BOOL LookThrough(unsigned long long& bytes)
    {
        return EachEntry([&](const WIN32_FIND_DATAW& e) {
                             NoteGit(e, true);
                             return LookThrough(bytes);
                         },
                         [&](const WIN32_FIND_DATAW& e) {
                             NoteGit(e, false);
                             bytes += DirListing::FileBytes(e);
                             return !IsKeepListName(e.cFileName) || ReadList(e.cFileName) ? TRUE : FALSE;
                         });
    }

    // Whether `e`, listed in the folder in `path`, is a folder that leads on.
    // Links lead out of the tree: neither planned nor entered. What the Recycle
    // Bin holds was deleted once already: never planned again. The Windows
    // folder and its like, met through another drive's root, are no solution's
    // to clean.
    bool LeadsOn(const WIN32_FIND_DATAW& e) const
    {
        return DirListing::IsDirectory(e) && !DirListing::IsLink(e) && !IsRecycleBinStore(path, e.cFileName) &&
               !IsRefusedPlaceIn(path, e.cFileName);
    }

    // Tells the lister which sub-folders of the folder in `path` the walk will
    // enter: those that lead on, but for a solution planned on its own that has
    // no plan (refused, never entered).
    void ExpectSubfolders(const HeldListing& listing)
    {
        std::wstring folder;
        (void)listing.ForEach([&](const WIN32_FIND_DATAW& e) {
            if (!LeadsOn(e)) return;
            AppendPath(folder.assign(path), e.cFileName).push_back(L'\\');
            const WALK_TARGET* nested = NestedTarget(folder);
            if (!nested || nested->mainPlan) m_ahead.Expect(folder);
        });
    }

    // Lists the folder in `path`. Each sub-folder it enters goes to `onFolder`
    // while `path` names it (with its backslash); each file goes to `onFile`;
    // links go nowhere. FALSE with the error of the listing, or as a callback
    // left it.
    template <typename OnFolder, typename OnFile>
    BOOL EachEntry(OnFolder onFolder, OnFile onFile)
    {
        const size_t length = path.size();
        const HeldListing listing = m_ahead.Take(path);
        ExpectSubfolders(listing);
        DWORD failure = 0;
        const LISTING_END end = listing.ForEach([&](const WIN32_FIND_DATAW& e) {
            BOOL ok = TRUE;
            if (!DirListing::IsDirectory(e)) {
                if (!DirListing::IsLink(e)) ok = onFile(e);
            } else if (LeadsOn(e)) {
                AppendPath(path, e.cFileName).push_back(L'\\');
                ok = onFolder(e);
                path.resize(length);
            }
            if (!ok) failure = ::GetLastError();
            return ok != FALSE;
        });
        if (end.stopped) {
            ::SetLastError(failure);   // as the callback left it
            return FALSE;
        }
        if (end.Failed() && unlistableFolder.empty()) unlistableFolder = NormalizeFolderPath(path, FALSE);
        ::SetLastError(end.error);
        return end.Complete();
    }

    // Remembers a .git entry of the folder in `path` (a folder's own path
    // while it is visited, a file's folder otherwise).
    void NoteGit(const WIN32_FIND_DATAW& e, bool isFolder)
    {
        if (!m_gitEntries || !IsGitName(e.cFileName)) return;
        m_gitEntries->push_back(isFolder ? NormalizeFolderPath(path, FALSE) : JoinPath(path, e.cFileName));
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

    const bool m_deleteSuo;
    ProtectedList& m_protected;
    const std::unordered_map<std::wstring, WALK_TARGET*>* m_nested;
    std::vector<std::wstring>* m_gitEntries;
    ListingAhead m_ahead;
    WALK_TARGET* m_target = nullptr;   // the solution whose plan the walk fills now
    std::wstring m_ageSkip;            // its age-skip folder, with its trailing backslash
};

// The .vs walk on `path` (ending in one backslash); post-order, so everything
// inside a folder is planned before the folder.
// `bytes` grows by the files below the folder; `newestKept` is the latest
// write time of the files that stay.
BOOL VisitVsFolder(std::wstring& path, DeletePlan& vsPlan, unsigned long long& bytes, ULONGLONG& newestKept)
{
    const size_t length = path.size();
    bool whole = true;
    struct SEEN_FILE {
        std::wstring name;
        unsigned long long bytes;
    };
    std::vector<SEEN_FILE> files;
    unsigned long long below = 0;
    const LISTING_END end = ForEachEntry(path, [&](const WIN32_FIND_DATAW& e) {
        const wchar_t* name = e.cFileName;
        // As in the main walk: a link is neither planned nor entered, so nothing
        // outside .vs is reached. Moving its folder moves only the link.
        if (DirListing::IsLink(e)) return;
        if (DirListing::IsDirectory(e)) {
            AppendPath(path, name).push_back(L'\\');
            if (!VisitVsFolder(path, vsPlan, below, newestKept)) whole = false;
            path.resize(length);
        } else if (NameEquals(name, kSuoExtension)) {
            whole = false;   // the solution's user options survive, and so does their folder
            newestKept = std::max(newestKept, DirListing::WriteTime(e));
        } else {
            files.push_back({name, DirListing::FileBytes(e)});
            below += DirListing::FileBytes(e);
        }
    });
    if (!end.opened) {
        // A folder that cannot be listed is planned whole.
        vsPlan.push_back({path.substr(0, length - 1), DEL_TYPE_FOLDER_NO_RECURSION});
        return TRUE;
    }
    bytes += below;
    // A listing that broke off may have hidden a ".suo" file: keep the folder
    // and plan only the files that were seen.
    if (end.Failed()) whole = false;

    if (!whole) {
        for (const SEEN_FILE& file : files) vsPlan.push_back({JoinPath(path, file.name), DEL_TYPE_FILE, file.bytes});
        return FALSE;
    }
    vsPlan.push_back({path.substr(0, length - 1), DEL_TYPE_FOLDER_NO_RECURSION, below});
    return TRUE;
}

// The key (PathKey) of the desktop's trash folder where the Recycle Bin is
// that folder (Wine: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash), asked
// once; empty elsewhere.
const std::wstring& DesktopTrashKey()
{
    static const std::wstring key = []() -> std::wstring {
        using ToDosName = WCHAR*(CDECL*)(const char*);
        const auto toDos = reinterpret_cast<ToDosName>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (!toDos) return {};
        auto variable = [](const wchar_t* name) {
            std::wstring value(32767, L'\0');
            value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
            return value;
        };
        std::wstring base = variable(L"XDG_DATA_HOME");
        if (base.empty()) {
            const std::wstring home = variable(L"HOME");
            if (home.empty()) return {};
            base = home + L"/.local/share";
        }
        WCHAR* dos = toDos(Utf8FromWide(base + L"/Trash").c_str());
        if (!dos) return {};
        std::wstring trash = PathKey(dos);
        ::HeapFree(::GetProcessHeap(), 0, dos);
        return trash;
    }();
    return key;
}

} // namespace

bool IsRecycleBinStore(std::wstring_view parent, const wchar_t* name)
{
    if (NameEquals(name, L"$Recycle.Bin") || NameEquals(name, L"RECYCLER") || NameEquals(name, L"RECYCLED")) return true;
    if (!NameEquals(name, L"Trash")) return false;
    const std::wstring& trash = DesktopTrashKey();
    return !trash.empty() && PathKey(JoinPath(parent, name)) == trash;
}

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
    const std::wstring prefix = FolderPrefix(parentFolder);
    const LISTING_END end = ForEachEntry(prefix, [&](const WIN32_FIND_DATAW& e) {
        if (!DirListing::IsDirectory(e) || !NameEquals(e.cFileName, name)) return true;
        outPath = JoinPath(prefix, e.cFileName);
        return false;
    });
    ::SetLastError(end.error);
    return !outPath.empty();
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
                      ProtectedList& protectedList, WalkTop top, WALK_EXTRAS* extras)
{
    const std::wstring own = NormalizeFolderPath(folder, FALSE);
    if (own.empty()) {
        // An empty path would walk the current folder instead.
        ::SetLastError(ERROR_INVALID_BLOCK);
        return FALSE;
    }
    ArtifactWalk walk((deleteSuo & 1) != 0, protectedList, extras);
    WALK_TARGET target;
    target.mainPlan = &mainPlan;
    if (extras) target.ageSkipFolder = extras->ageSkipFolder;
    walk.path.reserve(own.size() + MAX_PATH);
    walk.path.append(own).push_back(L'\\');
    // The view ends where its string ends, so it is a terminated name.
    const BOOL ok = walk.VisitSolution(target, FileNamePart(own).data(), top);
    const DWORD error = ::GetLastError();
    if (extras) {
        extras->unreadableList = walk.unreadableList;
        extras->unlistableFolder = walk.unlistableFolder;
        extras->newestKept = target.newestKept;
    }
    ::SetLastError(error);
    return ok;
}
