#include "engine/Recycler.h"

#include <objbase.h>

#include "engine/Executor.h"
#include "engine/FileOperationRecycler.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// Today's path: one SHFileOperationW call per item, answered at once.
class CShellDeleteRecycler final : public IRecycler {
public:
    CShellDeleteRecycler(HWND owner, RECYCLER_EVENTS events) : m_owner(owner), m_events(std::move(events)) {}

    bool Add(const std::wstring& path, RecycleKind kind) override
    {
        return m_events.done(path, {ShellDeleteItem(path, ShellFlagsFor(kind), m_owner, GoneCheck::ByCaller), {}, false});
    }
    bool Flush() override { return true; }

private:
    HWND m_owner;
    RECYCLER_EVENTS m_events;
};

// Where the shell's file operation failed its check: nothing goes anywhere.
// The first item's turn says why, in one line; every item stays and fails.
class CRefusingRecycler final : public IRecycler {
public:
    CRefusingRecycler(HRESULT probe, RECYCLER_EVENTS events) : m_probe(probe), m_events(std::move(events)) {}

    bool Add(const std::wstring& path, RecycleKind) override
    {
        if (!m_told && m_events.line) m_events.line(NoDeleterLine(m_probe));
        m_told = true;
        return m_events.done(path, {kErrorNoDeleter, {}, true});
    }
    bool Flush() override { return true; }

private:
    HRESULT m_probe;
    RECYCLER_EVENTS m_events;
    bool m_told = false;
};

// IFileOperation wants an apartment-threaded COM thread; any other thread
// (no COM, or the multithreaded apartment) keeps to today's path. The
// apartment's kind is asked of Windows 7 and later by name (Vista lacks the
// function, and the programs must start there); elsewhere a second
// CoInitializeEx tells it: S_FALSE when the thread already has that apartment.
bool IsApartmentThreaded()
{
    using GetApartmentType = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);
    static const auto query = reinterpret_cast<GetApartmentType>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ole32.dll"), "CoGetApartmentType")));
    if (query) {
        APTTYPE type{};
        APTTYPEQUALIFIER qualifier{};
        return SUCCEEDED(query(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
    }
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) ::CoUninitialize();   // balanced: the thread keeps what it had
    return hr == S_FALSE;
}

// Asked on the first apartment-threaded thread that wants to know, then kept.
HRESULT ProbeResult()
{
    static const HRESULT probe = ProbeFileOperationDeletes();
    return probe;
}

DeleterChoice ThisThreadsDeleter()
{
    return IsApartmentThreaded() ? ChooseDeleter(ProbeResult()) : DeleterChoice::ShellCall;
}

} // namespace

FILEOP_FLAGS ShellFlagsFor(RecycleKind kind)
{
    switch (kind) {
    case RecycleKind::File: return kShellFlagsFile;
    case RecycleKind::FolderNoRecursion: return kShellFlagsFolderNoRecursion;
    case RecycleKind::FolderTree: break;
    }
    return kShellFlagsFolderTree;
}

std::unique_ptr<IRecycler> CreateRecycler(HWND owner, RECYCLER_EVENTS events)
{
    switch (ThisThreadsDeleter()) {
    case DeleterChoice::FileOperation: return CreateFileOperationRecycler(owner, std::move(events));
    case DeleterChoice::None: return std::make_unique<CRefusingRecycler>(ProbeResult(), std::move(events));
    case DeleterChoice::ShellCall: break;
    }
    return std::make_unique<CShellDeleteRecycler>(owner, std::move(events));
}

const wchar_t* ActiveDeleterName()
{
    switch (ThisThreadsDeleter()) {
    case DeleterChoice::FileOperation: return L"IFileOperation";
    case DeleterChoice::None: return L"none";
    case DeleterChoice::ShellCall: break;
    }
    return L"SHFileOperation";
}

std::wstring VolumeRoot(const std::wstring& path)
{
    std::wstring root(MAX_PATH + 1, L'\0');
    if (path.empty() || !::GetVolumePathNameW(LongPathForm(path).c_str(), root.data(), MAX_PATH + 1)) return L"";
    root.resize(wcslen(root.c_str()));
    if (root.rfind(L"\\\\?\\", 0) == 0 && root.size() > 4 && root[5] == L':') root.erase(0, 4);
    return root;
}

namespace {

constexpr wchar_t kBitBucketKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket";
constexpr wchar_t kExplorerPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

bool DwordIsOne(HKEY root, const std::wstring& key, const wchar_t* value)
{
    DWORD data = 0, size = sizeof(data);
    return ::RegGetValueW(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS &&
           data == 1;
}

} // namespace

BinState VolumeBinState(const std::wstring& path)
{
    const std::wstring root = VolumeRoot(path);
    if (root.empty()) return BinState::Absent;
    switch (::GetDriveTypeW(root.c_str())) {
    case DRIVE_REMOTE:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
        return BinState::Absent;
    default:
        break;
    }
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        if (DwordIsOne(hive, kExplorerPolicyKey, L"NoRecycleFiles")) return BinState::Off;
    const std::wstring bitBucket = kBitBucketKey;
    if (DwordIsOne(HKEY_CURRENT_USER, bitBucket, L"UseGlobalSettings"))
        return DwordIsOne(HKEY_CURRENT_USER, bitBucket, L"NukeOnDelete") ? BinState::Off : BinState::On;
    const std::wstring guid = VolumeGuid(root);
    if (!guid.empty() && DwordIsOne(HKEY_CURRENT_USER, bitBucket + L"\\Volume\\" + guid, L"NukeOnDelete"))
        return BinState::Off;
    return BinState::On;
}

std::wstring VolumeGuid(const std::wstring& root)
{
    wchar_t volume[64] = L"";
    if (!::GetVolumeNameForVolumeMountPointW(root.c_str(), volume, 64)) return L"";
    // "\\?\Volume{GUID}\": the bin's settings of the volume are kept under its GUID.
    const std::wstring name(volume);
    const size_t open = name.find(L'{'), close = name.find(L'}');
    if (open == std::wstring::npos || close == std::wstring::npos || close < open) return L"";
    return name.substr(open, close - open + 1);
}

const wchar_t* BinStateName(BinState state)
{
    switch (state) {
    case BinState::On: return L"on";
    case BinState::Off: return L"off";
    case BinState::Absent: break;
    }
    return L"absent";
}
