// The shell's file operation (CLSID_FileOperation, IFileOperation) as Windows
// plays it, for the tests' second Wine prefix, whose registry names this DLL
// as the class's in-process server: Wine 8's own operation answers E_NOTIMPL
// to SetOperationFlags, DeleteItem and MoveItem. Everything it does happens
// for real, on disk and in Wine's trash ($XDG_DATA_HOME/Trash).
//
// PerformOperations calls every advised sink, and the item's own sink, with
// StartOperations, then for each queued operation in order PreDeleteItem /
// PostDeleteItem (or PreMoveItem / PostMoveItem), then FinishOperations. An
// error answer from any of them cancels it and every operation after it; so
// does the play's `cancel`. GetAnyOperationsAborted then says TRUE, while
// PerformOperations answers S_OK even then (the documentation warns that it
// may): FinishOperations hears why (the sink's error, or
// COPYENGINE_E_USER_CANCELLED).
//
// Deletes. An item goes to the bin when the operation flags ask for it
// (FOF_ALLOWUNDO or FOFX_RECYCLEONDELETE), Wine's trash takes new entries and
// the bin of the item's volume is on. As Windows keeps it per user, NukeOnDelete
// = 1 in HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\BitBucket
// \Volume\{GUID} switches it off for that volume, and the BitBucket key's own
// NukeOnDelete = 1 with UseGlobalSettings = 1 for all. When one item of an
// operation cannot go to the bin, no item of that operation can, as Windows
// decides it for the whole operation: PreDeleteItem gets
// TSF_DELETE_RECYCLE_IF_POSSIBLE only when it goes there. Answered S_OK,
// a recycled item goes through SHFileOperationW into the trash, and
// PostDeleteItem's new item is its entry in Trash\files; any other item is
// destroyed outright (links are removed, never followed) and PostDeleteItem
// gets S_OK with no new item.
//
// Moves. MoveItem moves the item, a folder whole, into the destination folder
// under its new name (or its own). A target that exists is replaced when the
// flags hold FOF_NOCONFIRMATION ("Yes to All"); otherwise the user is played
// answering Skip: PostMoveItem gets COPYENGINE_E_ALREADY_EXISTS_NORMAL (a
// file) or _FOLDER and both stay. An item moved out of Trash\files takes its
// record in Trash\info along.
//
// The play: MW_DOUBLE_PLAY, read at each PerformOperations, may name a UTF-8
// file of lines ACTION<TAB>WINDOWS-PATH (paths compared ignoring case):
//   unrecyclable  the item cannot go to the bin (so no item of its operation can)
//   deny, share   PostDeleteItem (PostMoveItem) with COPYENGINE_E_ACCESS_DENIED_SRC
//                 or COPYENGINE_E_SHARING_VIOLATION_SRC; the item stays
//   ignored       PostDeleteItem with COPYENGINE_S_USER_IGNORED; the item stays
//   dontprocess   a folder recycled whole, answered COPYENGINE_S_DONT_PROCESS_CHILDREN
//   parts         the files below a folder (deepest first) are recycled one by
//                 one, each with its own Pre/Post and new item, then the folder
//   nobin         every entry below a folder (deepest first), then the folder,
//                 is offered without the recycle flag and destroyed if the sink agrees
//   nonew         destroyed outright after the recycle flag: S_OK with no new item
//   cancel        the user cancels as the operation reaches this item: it and
//                 everything after it stay, with no callbacks
// unrecyclable, parts and nobin count for queued items only; the others for
// the parts of a folder too.
//
// The record: MW_DOUBLE_RECORD may name a file to which one line per event is
// appended, fields separated by TABs, flags and HRESULTs as 0x%08X, counts in
// decimal:
//   flags FLAGS | deleteitem PATH | deleteitems COUNT | moveitem PATH FOLDER NAME|-
//   perform COUNT (operations queued) | pre-delete TSF PATH | post-delete HR PATH NEW|-
//   pre-move TSF PATH TARGET | post-move HR PATH TARGET NEW|- | aborted HR
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <sherrors.h>
#include <algorithm>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "support/ComObject.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

LONG g_objects = 0;   // live objects and server locks, for DllCanUnloadNow

// The IUnknown of every object here, counted for DllCanUnloadNow.
template <typename Interface>
using CUnknown = CComObject<Interface, &g_objects>;

template <typename T>
UniqueCom<T> Share(T* p)
{
    if (p) p->AddRef();
    return UniqueCom<T>(p);
}

std::wstring Env(const wchar_t* name)
{
    std::wstring value(4096, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(n < value.size() ? n : 0);
    return value;
}

std::wstring Hex(DWORD value)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::string Utf8(const std::wstring& s)
{
    std::string out(s.size() * 3, '\0');
    out.resize(::WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(),
                                     static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

void Record(std::initializer_list<std::wstring> fields)
{
    const std::wstring file = Env(L"MW_DOUBLE_RECORD");
    if (file.empty()) return;
    std::wstring line;
    for (const std::wstring& field : fields) line += (line.empty() ? L"" : L"\t") + field;
    const std::string bytes = Utf8(line + L"\n");
    // Appended whole, so that the lines of two processes never mix.
    UniqueFile f(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (f) ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string ReadFileBytes(const std::wstring& file)
{
    UniqueFile f(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (f && ::ReadFile(f.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

// The play file's lines: (path, action).
using Play = std::vector<std::pair<std::wstring, std::wstring>>;

Play ReadPlay()
{
    Play play;
    const std::wstring file = Env(L"MW_DOUBLE_PLAY");
    std::string bytes = file.empty() ? std::string() : ReadFileBytes(file);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    std::wstring text(bytes.size(), L'\0');
    text.resize(::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                      static_cast<int>(text.size())));
    for (const std::wstring& line : SplitTokens(text, L"\r\n")) {
        const size_t tab = line.find(L'\t');
        if (tab != std::wstring::npos) play.emplace_back(line.substr(tab + 1), line.substr(0, tab));
    }
    return play;
}

std::wstring ActionFor(const Play& play, const std::wstring& path)
{
    for (const auto& [playPath, action] : play)
        if (PathsEqual(playPath, path)) return action;
    return {};
}

std::wstring PathOf(IShellItem* item)
{
    PWSTR path = nullptr;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return {};
    UniqueCoString owner(path);
    return path;
}

UniqueCom<IShellItem> ItemAt(const std::wstring& path)
{
    UniqueCom<IShellItem> item;
    if (!path.empty() && FAILED(::SHCreateItemFromParsingName(path.c_str(), nullptr, __uuidof(IShellItem), item.put_void())))
        item.reset();
    return item;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(LongPathForm(path).c_str()); }

// Shell items of entries in one folder. Wine's parse of a full path takes time
// in proportion to the entries of the folders on it (Trash\files holds
// thousands in a test run); parsed in the folder, bound once, a name costs a
// fraction of that.
class CFolderItems {
public:
    UniqueCom<IShellItem> ItemOf(const std::wstring& path)
    {
        const std::wstring folder = GetParentPath(path);
        if (!PathsEqual(folder, m_path)) Bind(folder);
        std::wstring name(FileNamePart(path));
        UniqueItemList child, full;
        ULONG eaten = 0;
        UniqueCom<IShellItem> item;
        if (m_folder && SUCCEEDED(m_folder.get()->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, child.put(), nullptr)))
            full.reset(::ILCombine(m_pidl.get(), child.get()));
        if (!full || FAILED(::SHCreateItemFromIDList(full.get(), __uuidof(IShellItem), item.put_void()))) item.reset();
        return item;
    }

private:
    void Bind(const std::wstring& folder)
    {
        m_path = folder;
        m_folder.reset();
        UniqueCom<IShellFolder> desktop;
        if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, m_pidl.put(), 0, nullptr)) ||
            FAILED(::SHGetDesktopFolder(desktop.put())) ||
            FAILED(desktop.get()->BindToObject(m_pidl.get(), nullptr, IID_IShellFolder, m_folder.put_void())))
            m_folder.reset();
    }

    std::wstring m_path;
    UniqueItemList m_pidl;
    UniqueCom<IShellFolder> m_folder;
};

// ---- The bin: Wine's trash, and Windows' switch per volume ----------------

// A folder of Wine's trash as a Windows path ("files" or "info"); empty
// without XDG_DATA_HOME, when Wine deletes outright.
std::wstring TrashFolder(const wchar_t* part)
{
    std::wstring data = Env(L"XDG_DATA_HOME");
    if (data.empty() || data[0] != L'/') return {};
    std::replace(data.begin(), data.end(), L'/', L'\\');
    return L"Z:" + data + L"\\Trash\\" + part;
}

// Wine deletes outright, and still says it succeeded, when its trash cannot
// take an entry: the bin is off then, as on a drive without one.
bool TrashTakesEntries()
{
    for (const wchar_t* part : {L"files", L"info"}) {
        const std::wstring probe = TrashFolder(part) + L"\\.mw-double-probe-" + std::to_wstring(::GetCurrentThreadId());
        UniqueFile f(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (!f) return false;
    }
    return true;
}

bool DwordIsOne(const std::wstring& key, const wchar_t* value)
{
    DWORD data = 0, size = sizeof(data);
    return ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS &&
           data == 1;
}

const wchar_t kBitBucket[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket";

bool GlobalBinSwitchedOff() { return DwordIsOne(kBitBucket, L"UseGlobalSettings") && DwordIsOne(kBitBucket, L"NukeOnDelete"); }

// "{GUID}" of the volume that holds `path`; empty when it has none.
std::wstring VolumeOf(const std::wstring& path)
{
    wchar_t root[MAX_PATH], volume[MAX_PATH];
    if (!::GetVolumePathNameW(path.c_str(), root, MAX_PATH) || !::GetVolumeNameForVolumeMountPointW(root, volume, MAX_PATH))
        return {};
    const std::wstring name = volume;   // \\?\Volume{GUID}\ .
    const size_t open = name.find(L'{'), close = name.find(L'}');
    return open == std::wstring::npos || close == std::wstring::npos ? L"" : name.substr(open, close - open + 1);
}

bool VolumeBinSwitchedOff(const std::wstring& volume)
{
    return !volume.empty() && DwordIsOne(std::wstring(kBitBucket) + L"\\Volume\\" + volume, L"NukeOnDelete");
}

// The item as Wine's trash names its original path (Path= in a .trashinfo).
std::string UnixName(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    static const auto toUnix =
        reinterpret_cast<ToUnix>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    const std::string out = name ? name : "";
    if (name) ::HeapFree(::GetProcessHeap(), 0, name);
    return out;
}

std::string PercentDecoded(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const std::string code = s[i] == '%' ? s.substr(i + 1, 2) : std::string();
        if (code.size() == 2 && isxdigit(static_cast<unsigned char>(code[0])) && isxdigit(static_cast<unsigned char>(code[1]))) {
            out.push_back(static_cast<char>(strtol(code.c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// The trash's records of items named `name`: Wine names an entry after its
// item, with "-" and eight hex digits added when that name is taken.
std::vector<std::wstring> RecordsNamed(const std::wstring& name)
{
    std::vector<std::wstring> records;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileW((TrashFolder(L"info") + L"\\" + name + L"*.trashinfo").c_str(), &data));
    if (find) {
        do records.push_back(data.cFileName);
        while (::FindNextFileW(find.get(), &data));
    }
    return records;
}

// Whether `record` (a name in Trash\info) is the record of the item whose
// original path is `unixName`.
bool IsRecordOf(const std::wstring& record, const std::string& unixName)
{
    const std::string text = ReadFileBytes(TrashFolder(L"info") + L"\\" + record);
    const size_t at = text.find("\nPath=");
    const std::string original = at == std::string::npos ? "" : text.substr(at + 6, text.find('\n', at + 6) - at - 6);
    return !original.empty() && (unixName.empty() || PercentDecoded(original) == unixName);
}

// The file system's number of the object (the inode under Wine), which a
// move within one file system keeps; 0 when it cannot be opened.
ULONGLONG FileIdOf(const std::wstring& path)
{
    UniqueFile f(::CreateFileW(LongPathForm(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!f || !::GetFileInformationByHandle(f.get(), &info)) return 0;
    return (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

std::wstring EntryOf(const std::wstring& record)
{
    return TrashFolder(L"files") + L"\\" + record.substr(0, record.size() - wcslen(L".trashinfo"));
}

// Sends the item to Wine's trash; `entry` is where the trash keeps it: the
// entry whose record names the item and which is the same object. Wine names
// it after the item, and only when that name is taken adds "-" and eight hex
// digits; only then are the records of that name listed. (The trash holds
// thousands of entries in a test run, and Wine's listing, like its answer that
// a name is not there, costs time for each one.)
HRESULT Recycle(const std::wstring& path, std::wstring& entry)
{
    const std::wstring name(FileNamePart(path));
    const std::wstring plain = name + L".trashinfo";
    const std::string unixName = UnixName(path);
    const ULONGLONG id = FileIdOf(path);
    std::wstring from = path;
    from.push_back(L'\0');   // the list's second terminator
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    const int result = ::SHFileOperationW(&op);
    if (result != 0) return HRESULT_FROM_WIN32(result);
    if (Attributes(path) != INVALID_FILE_ATTRIBUTES) return COPYENGINE_E_RECYCLE_UNKNOWN_ERROR;

    if (IsRecordOf(plain, unixName) && FileIdOf(EntryOf(plain)) == id) {
        entry = EntryOf(plain);
        return S_OK;
    }
    for (const std::wstring& record : RecordsNamed(name)) {
        if (IsRecordOf(record, unixName) && FileIdOf(EntryOf(record)) == id) {
            entry = EntryOf(record);
            break;
        }
    }
    return S_OK;   // gone, and without an entry only when Wine destroyed it
}

// Removes the item outright; a folder's contents first when `whole`. Links
// are removed themselves, never entered.
HRESULT Destroy(const std::wstring& path, bool whole = true)
{
    const std::wstring target = LongPathForm(path);
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(::GetLastError());
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileW(target.c_str()) ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
    if (whole && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        (void)ForEachEntry(path, [&](const WIN32_FIND_DATAW& e) { Destroy(JoinPath(path, e.cFileName)); });
    return ::RemoveDirectoryW(target.c_str()) ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

// The entries below `folder` (only files with `filesOnly`), deepest first.
std::vector<std::wstring> Below(const std::wstring& folder, bool filesOnly)
{
    std::vector<std::pair<size_t, std::wstring>> found;
    auto walk = [&](auto& self, const std::wstring& parent, size_t depth) -> void {
        (void)ForEachEntry(parent, [&](const WIN32_FIND_DATAW& e) {
            const std::wstring child = JoinPath(parent, e.cFileName);
            if (DirListing::IsDirectory(e) && !DirListing::IsLink(e)) self(self, child, depth + 1);
            if (!filesOnly || !DirListing::IsDirectory(e)) found.emplace_back(depth, child);
        });
    };
    walk(walk, folder, 0);
    // Deepest first, and in name order within a depth, as NTFS lists them.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : _wcsicmp(a.second.c_str(), b.second.c_str()) < 0;
    });
    std::vector<std::wstring> paths;
    for (auto& [depth, path] : found) paths.push_back(std::move(path));
    return paths;
}

// The failure that the play sets for an item, or S_OK.
HRESULT PlayedResult(const std::wstring& action)
{
    if (action == L"deny") return COPYENGINE_E_ACCESS_DENIED_SRC;
    if (action == L"share") return COPYENGINE_E_SHARING_VIOLATION_SRC;
    if (action == L"ignored") return COPYENGINE_S_USER_IGNORED;
    return S_OK;
}

// ---- The operation ---------------------------------------------------------

struct OPERATION {
    UniqueCom<IShellItem> item;
    UniqueCom<IShellItem> destination;   // a move's; none for a delete
    std::wstring newName;
    UniqueCom<IFileOperationProgressSink> sink;
};

class CFileOperationDouble final : public CUnknown<IFileOperation> {
public:
    IFACEMETHODIMP Advise(IFileOperationProgressSink* sink, DWORD* cookie) override
    {
        if (!sink || !cookie) return E_INVALIDARG;
        *cookie = m_nextCookie++;
        m_sinks.emplace_back(*cookie, Share(sink));
        return S_OK;
    }
    IFACEMETHODIMP Unadvise(DWORD cookie) override
    {
        const auto found = std::find_if(m_sinks.begin(), m_sinks.end(), [&](const auto& s) { return s.first == cookie; });
        if (found == m_sinks.end()) return E_INVALIDARG;
        m_sinks.erase(found);
        return S_OK;
    }
    IFACEMETHODIMP SetOperationFlags(DWORD flags) override
    {
        Record({L"flags", Hex(flags)});
        m_flags = flags;
        return S_OK;
    }
    IFACEMETHODIMP SetOwnerWindow(HWND) override { return S_OK; }   // no dialog is ever shown
    IFACEMETHODIMP DeleteItem(IShellItem* item, IFileOperationProgressSink* sink) override
    {
        if (!item) return E_INVALIDARG;
        Record({L"deleteitem", PathOf(item)});
        m_operations.push_back({Share(item), {}, {}, Share(sink)});
        return S_OK;
    }
    IFACEMETHODIMP DeleteItems(IUnknown* items) override;
    IFACEMETHODIMP MoveItem(IShellItem* item, IShellItem* folder, LPCWSTR newName, IFileOperationProgressSink* sink) override
    {
        if (!item || !folder) return E_INVALIDARG;
        Record({L"moveitem", PathOf(item), PathOf(folder), newName ? newName : L"-"});
        m_operations.push_back({Share(item), Share(folder), newName ? newName : L"", Share(sink)});
        return S_OK;
    }
    IFACEMETHODIMP PerformOperations() override;
    IFACEMETHODIMP GetAnyOperationsAborted(BOOL* aborted) override
    {
        if (!aborted) return E_POINTER;
        *aborted = m_aborted;
        return S_OK;
    }

    IFACEMETHODIMP SetProgressMessage(LPCWSTR) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetProgressDialog(IOperationsProgressDialog*) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetProperties(IPropertyChangeArray*) override { return E_NOTIMPL; }
    IFACEMETHODIMP ApplyPropertiesToItem(IShellItem*) override { return E_NOTIMPL; }
    IFACEMETHODIMP ApplyPropertiesToItems(IUnknown*) override { return E_NOTIMPL; }
    IFACEMETHODIMP RenameItem(IShellItem*, LPCWSTR, IFileOperationProgressSink*) override { return E_NOTIMPL; }
    IFACEMETHODIMP RenameItems(IUnknown*, LPCWSTR) override { return E_NOTIMPL; }
    IFACEMETHODIMP MoveItems(IUnknown*, IShellItem*) override { return E_NOTIMPL; }
    IFACEMETHODIMP CopyItem(IShellItem*, IShellItem*, LPCWSTR, IFileOperationProgressSink*) override { return E_NOTIMPL; }
    IFACEMETHODIMP CopyItems(IUnknown*, IShellItem*) override { return E_NOTIMPL; }
    IFACEMETHODIMP NewItem(IShellItem*, DWORD, LPCWSTR, LPCWSTR, IFileOperationProgressSink*) override { return E_NOTIMPL; }

private:
    // Calls every advised sink, then the item's own; the first error stops.
    template <typename Call>
    HRESULT Tell(IFileOperationProgressSink* itemSink, Call&& call)
    {
        for (size_t i = 0; i < m_sinks.size(); ++i) {
            const HRESULT hr = call(m_sinks[i].second.get());
            if (FAILED(hr)) return hr;
        }
        return itemSink ? call(itemSink) : S_OK;
    }
    HRESULT PerformDelete(const OPERATION& op, const Play& play);
    HRESULT DeleteOne(IShellItem* item, const std::wstring& path, const std::wstring& action, bool recycle, bool whole,
                      IFileOperationProgressSink* sink);
    HRESULT PerformMove(const OPERATION& op, const Play& play);

    std::vector<std::pair<DWORD, UniqueCom<IFileOperationProgressSink>>> m_sinks;
    DWORD m_nextCookie = 1;
    DWORD m_flags = FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR;   // the documented default
    std::vector<OPERATION> m_operations;
    bool m_recycle = false;   // this PerformOperations' deletes go to the bin
    CFolderItems m_trashItems;
    bool m_performed = false;
    BOOL m_aborted = FALSE;
};

IFACEMETHODIMP CFileOperationDouble::DeleteItems(IUnknown* items)
{
    UniqueCom<IShellItemArray> array;
    UniqueCom<IEnumShellItems> enumerator;
    UniqueCom<IDataObject> data;
    if (!items) return E_INVALIDARG;
    if (FAILED(items->QueryInterface(__uuidof(IShellItemArray), array.put_void())) &&
        SUCCEEDED(items->QueryInterface(__uuidof(IDataObject), data.put_void())))
        (void)::SHCreateShellItemArrayFromDataObject(data.get(), __uuidof(IShellItemArray), array.put_void());
    if (!array && FAILED(items->QueryInterface(__uuidof(IEnumShellItems), enumerator.put_void()))) return E_INVALIDARG;

    std::vector<UniqueCom<IShellItem>> queued;
    DWORD count = 0;
    if (array && FAILED(array.get()->GetCount(&count))) return E_INVALIDARG;
    for (DWORD i = 0; array && i < count; ++i) {
        UniqueCom<IShellItem> item;
        if (FAILED(array.get()->GetItemAt(i, item.put()))) return E_INVALIDARG;
        queued.push_back(std::move(item));
    }
    for (UniqueCom<IShellItem> item; enumerator && enumerator.get()->Next(1, item.put(), nullptr) == S_OK;)
        queued.push_back(std::move(item));

    Record({L"deleteitems", std::to_wstring(queued.size())});
    for (UniqueCom<IShellItem>& item : queued) m_operations.push_back({std::move(item), {}, {}, {}});
    return S_OK;
}

IFACEMETHODIMP CFileOperationDouble::PerformOperations()
{
    if (m_performed) return E_UNEXPECTED;
    m_performed = true;
    Record({L"perform", std::to_wstring(m_operations.size())});
    const Play play = ReadPlay();

    // Windows decides for the whole operation whether its deletes go to the
    // bin. A volume is looked up once per drive (each lookup asks Wine's mount
    // manager).
    m_recycle = (m_flags & (FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE)) && TrashTakesEntries() && !GlobalBinSwitchedOff();
    std::vector<std::pair<std::wstring, bool>> drives;   // "X:", bin off
    for (const OPERATION& op : m_operations) {
        const std::wstring path = op.destination ? L"" : PathOf(op.item.get());
        if (path.empty() || !m_recycle) continue;
        const std::wstring drive = path.size() > 1 && path[1] == L':' ? path.substr(0, 2) : path;
        auto known = std::find_if(drives.begin(), drives.end(), [&](const auto& d) { return PathsEqual(d.first, drive); });
        if (known == drives.end()) known = drives.insert(drives.end(), {drive, VolumeBinSwitchedOff(VolumeOf(path))});
        if (known->second || ActionFor(play, path) == L"unrecyclable") m_recycle = false;
    }

    HRESULT why = Tell(nullptr, [](IFileOperationProgressSink* s) { return s->StartOperations(); });
    for (size_t i = 0; SUCCEEDED(why) && i < m_operations.size(); ++i)
        why = m_operations[i].destination ? PerformMove(m_operations[i], play) : PerformDelete(m_operations[i], play);
    if (FAILED(why)) {
        m_aborted = TRUE;
        Record({L"aborted", Hex(why)});
    }
    (void)Tell(nullptr, [&](IFileOperationProgressSink* s) { return s->FinishOperations(FAILED(why) ? why : S_OK); });
    return S_OK;
}

HRESULT CFileOperationDouble::PerformDelete(const OPERATION& op, const Play& play)
{
    const std::wstring path = PathOf(op.item.get());
    const std::wstring action = ActionFor(play, path);
    const bool parts = action == L"parts", nobin = action == L"nobin";
    if (parts || nobin) {
        for (const std::wstring& child : Below(path, parts)) {
            UniqueCom<IShellItem> item = ItemAt(child);
            const HRESULT hr = DeleteOne(item.get(), child, ActionFor(play, child), parts && m_recycle, true, op.sink.get());
            if (FAILED(hr)) return hr;
        }
    }
    return DeleteOne(op.item.get(), path, action, m_recycle && !nobin, !nobin, op.sink.get());
}

HRESULT CFileOperationDouble::DeleteOne(IShellItem* item, const std::wstring& path, const std::wstring& action,
                                        bool recycle, bool whole, IFileOperationProgressSink* sink)
{
    if (action == L"cancel") return COPYENGINE_E_USER_CANCELLED;
    const DWORD flags = recycle ? TSF_DELETE_RECYCLE_IF_POSSIBLE : TSF_NORMAL;
    Record({L"pre-delete", Hex(flags), path});
    HRESULT hr = Tell(sink, [&](IFileOperationProgressSink* s) { return s->PreDeleteItem(flags, item); });
    if (FAILED(hr)) return hr;

    std::wstring entry;
    HRESULT result = PlayedResult(action);
    if (result != S_OK) {
        // The play's failure: the item stays.
    } else if (Attributes(path) == INVALID_FILE_ATTRIBUTES) {
        result = HRESULT_FROM_WIN32(::GetLastError());
    } else if (recycle && action != L"nonew") {
        result = Recycle(path, entry);
        if (result == S_OK && action == L"dontprocess") result = COPYENGINE_S_DONT_PROCESS_CHILDREN;
    } else {
        result = Destroy(path, whole);
    }
    UniqueCom<IShellItem> created = entry.empty() ? UniqueCom<IShellItem>() : m_trashItems.ItemOf(entry);
    Record({L"post-delete", Hex(result), path, entry.empty() ? L"-" : entry});
    hr = Tell(sink, [&](IFileOperationProgressSink* s) { return s->PostDeleteItem(flags, item, result, created.get()); });
    if (FAILED(hr)) return hr;
    return FAILED(result) && (m_flags & FOFX_EARLYFAILURE) ? result : S_OK;
}

HRESULT CFileOperationDouble::PerformMove(const OPERATION& op, const Play& play)
{
    const std::wstring source = PathOf(op.item.get());
    const std::wstring action = ActionFor(play, source);
    if (action == L"cancel") return COPYENGINE_E_USER_CANCELLED;
    const std::wstring name = op.newName.empty() ? std::wstring(FileNamePart(source)) : op.newName;
    const std::wstring target = JoinPath(PathOf(op.destination.get()), name);
    const bool replace = (m_flags & FOF_NOCONFIRMATION) != 0;
    const DWORD flags = replace ? TSF_OVERWRITE_EXIST : TSF_FAIL_EXIST;
    const LPCWSTR newName = op.newName.empty() ? nullptr : op.newName.c_str();
    Record({L"pre-move", Hex(flags), source, target});
    HRESULT hr = Tell(op.sink.get(), [&](IFileOperationProgressSink* s) {
        return s->PreMoveItem(flags, op.item.get(), op.destination.get(), newName);
    });
    if (FAILED(hr)) return hr;

    // The play's failure leaves the item where it is; so does the user's Skip
    // of a target that exists, which "Yes to All" replaces instead.
    HRESULT result = PlayedResult(action);
    // An item that names no place of the file system (an item of a namespace
    // the double does not play) is not moved anywhere.
    if (result == S_OK && (source.empty() || IsRelativePath(source))) result = E_INVALIDARG;
    const DWORD existing = Attributes(target);
    if (result == S_OK && existing != INVALID_FILE_ATTRIBUTES)
        result = replace                                ? Destroy(target)
                 : (existing & FILE_ATTRIBUTE_DIRECTORY) ? COPYENGINE_E_ALREADY_EXISTS_FOLDER
                                                         : COPYENGINE_E_ALREADY_EXISTS_NORMAL;
    if (result == S_OK && !::MoveFileExW(LongPathForm(source).c_str(), LongPathForm(target).c_str(), MOVEFILE_COPY_ALLOWED))
        result = HRESULT_FROM_WIN32(::GetLastError());
    // Out of the bin: its record goes with it.
    if (result == S_OK && PathsEqual(GetParentPath(source), TrashFolder(L"files")))
        ::DeleteFileW((TrashFolder(L"info") + L"\\" + std::wstring(FileNamePart(source)) + L".trashinfo").c_str());
    UniqueCom<IShellItem> created = result == S_OK ? ItemAt(target) : UniqueCom<IShellItem>();
    Record({L"post-move", Hex(result), source, target, created ? target : L"-"});
    hr = Tell(op.sink.get(), [&](IFileOperationProgressSink* s) {
        return s->PostMoveItem(flags, op.item.get(), op.destination.get(), newName, result, created.get());
    });
    if (FAILED(hr)) return hr;
    return FAILED(result) && (m_flags & FOFX_EARLYFAILURE) ? result : S_OK;
}

class CFactory final : public CUnknown<IClassFactory> {
public:
    IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* operation = new (std::nothrow) CFileOperationDouble;
        if (!operation) return E_OUTOFMEMORY;
        const HRESULT hr = operation->QueryInterface(riid, ppv);
        operation->Release();
        return hr;
    }
    IFACEMETHODIMP LockServer(BOOL lock) override
    {
        lock ? ::InterlockedIncrement(&g_objects) : ::InterlockedDecrement(&g_objects);
        return S_OK;
    }
};

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != __uuidof(FileOperation)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) CFactory;
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
