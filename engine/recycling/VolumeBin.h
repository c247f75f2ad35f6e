#pragma once
// The Recycle Bin of each volume, as the shell's own settings describe it.
#include <windows.h>
#include <optional>
#include <string>

// Where the shell keeps the Recycle Bin's settings, below HKEY_CURRENT_USER:
// the global ones, and each volume's below "Volume\{GUID}".
inline constexpr wchar_t kBitBucketKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket";
// A REG_DWORD setting `value` of `subkey` below `key` (nullptr: of `key`
// itself), or nothing where it is not set as one.
std::optional<DWORD> BinSetting(HKEY key, const wchar_t* subkey, const wchar_t* value);

// Whether the Recycle Bin of the volume that holds a path takes items, as the
// shell's own settings say: Off where the user or a policy switched it off
// (the bin's NukeOnDelete, globally or for that volume; NoRecycleFiles),
// Absent on drives that have none (network, removable, optical, RAM drives).
enum class BinState { On, Off, Absent };
BinState VolumeBinState(const std::wstring& path);
// "on", "off" or "absent".
const wchar_t* BinStateName(BinState state);
// The root of the volume that holds `path` ("C:"), or empty.
std::wstring VolumeRoot(const std::wstring& path);
// The GUID of the volume whose root is `root` ("{...}", braces included), under
// which the shell keeps that volume's Recycle Bin settings; empty when the
// system names none.
std::wstring VolumeGuid(const std::wstring& root);
