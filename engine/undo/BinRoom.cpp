#include "engine/undo/BinRoom.h"

#include <shellapi.h>

#include "engine/recycling/VolumeBin.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

constexpr unsigned long long kMegabyte = 1024ull * 1024;

} // namespace

BinOverflow DecideBinOverflow(unsigned long long planned, std::optional<unsigned long long> held,
                              std::optional<unsigned long long> maximum)
{
    if (planned == 0) return BinOverflow::Fits;
    if (!maximum) return BinOverflow::Unknown;
    if (planned > *maximum) return BinOverflow::Overflows;   // whatever the bin holds
    if (!held) return BinOverflow::Unknown;
    // held + planned > maximum, without the sum wrapping round.
    return *held > *maximum - planned ? BinOverflow::Overflows : BinOverflow::Fits;
}

void AddDriveBytes(std::vector<DRIVE_BYTES>& total, const std::vector<DRIVE_BYTES>& more)
{
    for (const DRIVE_BYTES& m : more) {
        bool added = false;
        for (DRIVE_BYTES& t : total)
            if (PathKey(t.drive) == PathKey(m.drive)) {
                t.bytes += m.bytes;
                added = true;
                break;
            }
        if (!added) total.push_back(m);
    }
}

std::vector<DRIVE_BYTES> PlannedBinBytes(const CLEANUP_PLAN& plan)
{
    if (plan.status != FolderStatus::Planned) return {};
    // The walk never enters a link (a junction, a symbolic link, a mount
    // point) nor plans one: every item lies on the volume of the solution
    // folder, asked once, of the first item's own path.
    DRIVE_BYTES drive;
    bool any = false;
    for (const DeletePlan* items : {&plan.vsPlan, &plan.mainPlan})
        for (const ITEM_2_DELETE& item : *items) {
            if (item.nType == DEL_TYPE_EMPTY_FOLDER) continue;   // removed outright, never sent to the bin
            if (!any) drive.drive = VolumeRoot(item.strPath);
            any = true;
            drive.bytes += item.bytes;
        }
    // On no volume the system names there is no bin to fill.
    if (!any || drive.drive.empty()) return {};
    return {drive};
}

std::optional<unsigned long long> BinHeldBytes(const std::wstring& root)
{
    SHQUERYRBINFO info{};
    info.cbSize = sizeof(info);
    if (FAILED(::SHQueryRecycleBinW(root.c_str(), &info)) || info.i64Size < 0) return {};
    return static_cast<unsigned long long>(info.i64Size);
}

std::optional<unsigned long long> BinMaximumBytes(HKEY bitBucket, const std::wstring& guid)
{
    std::optional<DWORD> megabytes;
    if (BinSetting(bitBucket, nullptr, L"UseGlobalSettings") == 1u)
        megabytes = BinSetting(bitBucket, nullptr, L"MaxCapacity");
    else if (!guid.empty())
        megabytes = BinSetting(bitBucket, (L"Volume\\" + guid).c_str(), L"MaxCapacity");
    if (!megabytes) return {};
    return *megabytes * kMegabyte;
}

std::optional<unsigned long long> BinMaximumBytes(const std::wstring& root)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kBitBucketKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
    return BinMaximumBytes(key.get(), VolumeGuid(root));
}

std::vector<BIN_ROOM> CheckBinRoom(const std::vector<DRIVE_BYTES>& planned)
{
    std::vector<BIN_ROOM> rooms;
    for (const DRIVE_BYTES& p : planned) {
        BIN_ROOM room;
        room.drive = p.drive;
        room.planned = p.bytes;
        room.state = VolumeBinState(p.drive);
        if (room.state != BinState::On) {
            room.overflow = BinOverflow::Fits;   // nothing goes to it
        } else {
            room.maximum = BinMaximumBytes(p.drive);
            // Listing the bin costs: it is asked only where the answer can tell something.
            if (room.maximum && p.bytes) room.held = BinHeldBytes(p.drive);
            room.overflow = DecideBinOverflow(room.planned, room.held, room.maximum);
        }
        rooms.push_back(std::move(room));
    }
    return rooms;
}

std::wstring BinOverflowLine(const std::vector<BIN_ROOM>& rooms)
{
    std::wstring drives;
    for (const BIN_ROOM& r : rooms) {
        if (r.overflow != BinOverflow::Overflows) continue;
        drives += drives.empty() ? L": " : L"; ";
        drives += r.held ? FormatText(L"%ls holds %llu bytes of at most %llu and gets %llu more", r.drive.c_str(),
                                      *r.held, *r.maximum, r.planned)
                         : FormatText(L"%ls takes at most %llu bytes and gets %llu", r.drive.c_str(), *r.maximum,
                                      r.planned);
    }
    if (drives.empty()) return drives;
    return L"WARNING: This clean-up sends more to the Recycle Bin than it has room for, and Windows will empty older "
           L"items out of it for good" + drives + L".";
}
