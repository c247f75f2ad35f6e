#pragma once
// Whether a clean-up fits in the Recycle Bin. Windows empties the oldest items
// out of a full bin, for good, to make room for new ones: a clean-up of a few
// gigabytes can push the user's own earlier deletions out unseen. Before a
// folder's deletion begins, the bytes its plans send to each drive's bin are
// set against what that bin holds and the most it takes.
#include <windows.h>
#include <optional>
#include <string>
#include <vector>

#include "engine/recycling/VolumeBin.h"
#include "engine/planning/Planner.h"
#include "engine/recycling/Recycler.h"

// What sending more to a bin does to what it holds.
enum class BinOverflow {
    Fits,        // it all fits beside what the bin holds
    Overflows,   // Windows would empty older items out to make room
    Unknown,     // the bin's maximum (or what it holds) is not known
};

// The decision: held + planned > maximum overflows. Nothing planned never
// does; without a maximum nothing is known. What the bin holds may be unknown
// where the planned bytes alone exceed the maximum.
BinOverflow DecideBinOverflow(unsigned long long planned, std::optional<unsigned long long> held,
                              std::optional<unsigned long long> maximum);

// The bytes a clean-up sends to one drive's bin.
struct DRIVE_BYTES {
    std::wstring drive;   // the volume's root ("C:\"), as VolumeRoot gives it
    unsigned long long bytes = 0;
};

// The planned bytes of a complete plan's items, per drive: each item's
// `bytes` (for a folder planned whole, the files below it); a remove-if-empty
// folder counts 0 and names no drive. A plan's items all lie on one drive.
std::vector<DRIVE_BYTES> PlannedBinBytes(const CLEANUP_PLAN& plan);

// Adds `more` to `total`, drive by drive (letter case aside).
void AddDriveBytes(std::vector<DRIVE_BYTES>& total, const std::vector<DRIVE_BYTES>& more);

// What the Recycle Bin of the volume `root` holds now, in bytes, as the shell
// tells it (SHQueryRecycleBinW); nothing when it does not.
std::optional<unsigned long long> BinHeldBytes(const std::wstring& root);

// The most the bin of the volume `guid` ("{...}") takes, in bytes, as the
// user's settings under `bitBucket` (an open ...\Explorer\BitBucket key) say:
// with UseGlobalSettings = 1 that key's own MaxCapacity, else the one of its
// Volume\{GUID} key (both DWORDs, in megabytes); nothing where none is set.
std::optional<unsigned long long> BinMaximumBytes(HKEY bitBucket, const std::wstring& guid);
// The same for the volume whose root is `root`, from the current user's settings.
std::optional<unsigned long long> BinMaximumBytes(const std::wstring& root);

// One drive's bin set against what a clean-up sends it.
struct BIN_ROOM {
    std::wstring drive;                         // "C:\"
    BinState state = BinState::On;              // a bin that is off or absent takes nothing
    unsigned long long planned = 0;
    std::optional<unsigned long long> held;     // asked only where the maximum is known and bytes are planned
    std::optional<unsigned long long> maximum;
    BinOverflow overflow = BinOverflow::Unknown;   // Fits for a bin that takes nothing
};

// Each drive's bin against its planned bytes.
std::vector<BIN_ROOM> CheckBinRoom(const std::vector<DRIVE_BYTES>& planned);

// The one log line that warns, before deletion, of the drives among `rooms`
// that would overflow ("WARNING: ..."); empty when none would.
std::wstring BinOverflowLine(const std::vector<BIN_ROOM>& rooms);
