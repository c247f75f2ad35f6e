#include "engine/recycling/VolumeBin.h"

#include <windows.h>

#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

std::wstring VolumeRoot(const std::wstring& path)
{
    std::wstring root(MAX_PATH + 1, L'\0');
    if (path.empty() || !::GetVolumePathNameW(LongPathForm(path).c_str(), root.data(), MAX_PATH + 1)) return L"";
    root.resize(wcslen(root.c_str()));
    if (root.rfind(L"\\\\?\\", 0) == 0 && root.size() > 4 && root[5] == L':') root.erase(0, 4);
    return root;
}

namespace {

constexpr wchar_t kExplorerPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

bool DwordIsOne(HKEY root, const std::wstring& key, const wchar_t* value)
{
    return BinSetting(root, key.c_str(), value) == 1u;
}

} // namespace

std::optional<DWORD> BinSetting(HKEY key, const wchar_t* subkey, const wchar_t* value)
{
    DWORD data = 0, size = sizeof(data);
    if (::RegGetValueW(key, subkey, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS) return {};
    return data;
}

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
