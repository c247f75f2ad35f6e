#include "engine/planning/TopLevelFolder.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <vector>

#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// One folder as the refusal compares it.
struct FOLDER_FACTS {
    std::wstring path;       // full, long names, no "\\?\" prefix, no dot segments
    std::wstring realPath;   // where the opened folder really stands (links, subst drives); empty when unknown
    bool identified = false; // volume and fileId are known
    DWORD volume = 0;        // volume serial number
    ULONGLONG fileId = 0;
};

bool IsFullPath(const std::wstring& path)
{
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
}

// The answer of a call that fills a path buffer and asks for a larger one when
// it does not fit; empty when the call fails.
template <typename Call>
std::wstring PathAnswer(Call call)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(static_cast<size_t>(n) + 1);
    }
}

// The spelling in which folders are compared: full, with long names, without
// the "\\?\" prefix, "." and ".." resolved, no trailing separator (a root
// keeps its own). A folder that does not exist keeps its short names.
std::wstring ComparablePath(const std::wstring& folder)
{
    std::wstring path = CanonicalPath(TrimBlanks(folder));
    if (path.empty()) return path;
    if (!IsFullPath(path)) path = CanonicalPath(FullPath(path));
    // Only a short name holds a '~'; the long names of a deep path would cost
    // a lookup of every folder on the way.
    if (path.find(L'~') == std::wstring::npos) return path;
    const std::wstring target = LongPathForm(path);
    const std::wstring longNames =
        PathAnswer([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(target.c_str(), buffer, size); });
    return longNames.empty() ? path : CanonicalPath(longNames);
}

// Where an opened folder really stands (links, subst drives and another
// drive's root resolved), canonical; empty when the system does not say.
std::wstring FinalPath(HANDLE handle)
{
    const std::wstring real = PathAnswer([&](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    return real.empty() ? real : CanonicalPath(real);
}

// The folder opened through links, as a clean-up of it would reach it.
UniqueFile OpenFolder(const std::wstring& path)
{
    return UniqueFile(::CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

FOLDER_FACTS Examine(const std::wstring& folder)
{
    FOLDER_FACTS facts;
    facts.path = ComparablePath(folder);
    if (facts.path.empty()) return facts;
    UniqueFile handle = OpenFolder(facts.path);
    if (!handle) return facts;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle.get(), &info)) {
        facts.volume = info.dwVolumeSerialNumber;
        facts.fileId = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        // Some network file systems answer 0 for every object: that tells nothing.
        facts.identified = facts.fileId != 0;
    }
    facts.realPath = FinalPath(handle.get());
    return facts;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && !b.empty() &&
           ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

// The same folder: by what it is when both were opened, else by any spelling
// of the two.
bool SameFolder(const FOLDER_FACTS& a, const FOLDER_FACTS& b)
{
    if (a.identified && b.identified) return a.volume == b.volume && a.fileId == b.fileId;
    for (const std::wstring* x : {&a.path, &a.realPath})
        for (const std::wstring* y : {&b.path, &b.realPath})
            if (SameName(*x, *y)) return true;
    return false;
}

bool IsRoot(const std::wstring& path) { return !path.empty() && ::PathIsRootW(path.c_str()); }

// The folder that holds `path` (in the comparable spelling): a drive's own
// folders stand in its root.
std::wstring ParentFolder(const std::wstring& path)
{
    std::wstring parent = GetParentPath(path);
    if (parent.size() == 2 && parent[1] == L':') parent.push_back(L'\\');
    return parent;
}

std::wstring KnownFolder(int csidl)
{
    wchar_t buffer[MAX_PATH] = L"";
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return buffer;
}

// The refused places, looked up once per process (asking the shell for them
// costs more than the rest of the test): the profiles folder first, then the
// Windows, Program Files and profile folders.
const std::vector<FOLDER_FACTS>& RefusedPlaces()
{
    static const std::vector<FOLDER_FACTS> places = [] {
        wchar_t windows[MAX_PATH] = L"";
        const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
        const std::wstring profile = KnownFolder(CSIDL_PROFILE);
        std::vector<std::wstring> paths = {
            ParentFolder(ComparablePath(profile)),
            length && length < MAX_PATH ? std::wstring(windows) : std::wstring(),
            KnownFolder(CSIDL_WINDOWS),
            KnownFolder(CSIDL_PROGRAM_FILES),
            KnownFolder(CSIDL_PROGRAM_FILESX86),
            KnownFolder(CSIDL_PROGRAM_FILES_COMMON),
            profile,
        };
        // A 32-bit program is told the 32-bit folder; the other one counts too.
        wchar_t other[MAX_PATH] = L"";
        const DWORD got = ::GetEnvironmentVariableW(L"ProgramW6432", other, MAX_PATH);
        if (got && got < MAX_PATH) paths.push_back(other);
        std::vector<FOLDER_FACTS> facts;
        for (const std::wstring& path : paths) facts.push_back(Examine(path));
        return facts;
    }();
    return places;
}

} // namespace

bool IsTopLevelFolder(const std::wstring& folder)
{
    const FOLDER_FACTS facts = Examine(folder);
    if (facts.path.empty()) return false;
    if (IsRoot(facts.path) || IsRoot(facts.realPath)) return true;
    const std::vector<FOLDER_FACTS>& places = RefusedPlaces();
    for (const FOLDER_FACTS& place : places)
        if (SameFolder(facts, place)) return true;
    // Any user's own profile folder stands directly in the profiles folder.
    return SameFolder(Examine(ParentFolder(facts.realPath.empty() ? facts.path : facts.realPath)), places.front());
}

std::wstring RealFolderPath(const std::wstring& folder)
{
    const std::wstring path = CanonicalPath(TrimBlanks(folder));
    if (path.empty()) return path;
    UniqueFile handle = OpenFolder(path);
    return handle ? FinalPath(handle.get()) : std::wstring();
}

bool IsRefusedPlaceIn(const std::wstring& parent, const wchar_t* name)
{
    // The last names of the refused places, once: "windows", "Program Files", ...
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> last;
        for (const FOLDER_FACTS& place : RefusedPlaces())
            for (const std::wstring* path : {&place.path, &place.realPath})
                if (!path->empty() && !IsRoot(*path)) last.emplace_back(FileNamePart(*path));
        return last;
    }();
    const std::wstring_view given(name);
    for (const std::wstring& known : names)
        if (::CompareStringOrdinal(known.c_str(), static_cast<int>(known.size()), name, static_cast<int>(given.size()),
                                   TRUE) == CSTR_EQUAL)
            return IsTopLevelFolder(JoinPath(parent, given));
    return false;
}
