#pragma once
// The one road by which anything goes to the Recycle Bin. Two deleters take
// it: today's one shell call per item (SHFileOperationW), and, where Windows
// offers it, IFileOperation, which refuses every delete that would not go to
// the bin before the shell acts and recycles many items in one operation.
#include <windows.h>
#include <shellapi.h>
#include <functional>
#include <memory>
#include <string>

// The three kinds of shell delete, each with a flag set of its own.
enum class RecycleKind { File, FolderNoRecursion, FolderTree };

// What became of one item handed to a deleter.
struct RECYCLE_OUTCOME {
    DWORD code = 0;        // 0: the shell says it went (or it was already gone); else why it stayed
    std::wstring binItem;  // where the Recycle Bin keeps it, when the deleter is told (IFileOperation)
    bool toldOnce = false; // a line of the deleter's own already says why, for this item and others
};

// What a deleter tells the deletion that uses it.
struct RECYCLER_EVENTS {
    // Called once per item right after the shell handled it, in the order
    // added. Answer false to stop: the items not yet handled stay untouched
    // and are not reported.
    std::function<bool(const std::wstring& path, const RECYCLE_OUTCOME& outcome)> done;
    // A part of an item (a file or folder inside a folder) that the shell sent
    // to the Recycle Bin on its own, as `binItem`, before the item itself.
    std::function<void(const std::wstring& path, bool isFolder, const std::wstring& binItem)> partRecycled;
    // A line for the run's log that says, once, what many items' outcomes share.
    std::function<void(const std::wstring& line)> line;
};

class IRecycler {
public:
    virtual ~IRecycler() = default;
    // Queues one item; a deleter without batches handles it at once, calling
    // `done` before it returns. False: `done` asked to stop.
    virtual bool Add(const std::wstring& path, RecycleKind kind) = 0;
    // Handles everything queued. False: `done` asked to stop (the rest was
    // cancelled). Items still queued when a recycler goes stay untouched.
    virtual bool Flush() = 0;
};

// The deleter for this thread; `owner` (or null) owns any window the shell
// shows. IFileOperation where the system's operation accepts delete items
// (asked once per process) and this thread is apartment-threaded COM; today's
// path where the operation answers that it takes no delete items (E_NOTIMPL,
// as under Wine) and on other threads; where the operation fails its check for
// any other reason, a deleter that refuses every item and says why once.
// Neither checks that an item is gone afterwards: `done` hears the shell's
// answer, and the caller checks.
std::unique_ptr<IRecycler> CreateRecycler(HWND owner, RECYCLER_EVENTS events);

// The name of the deleter CreateRecycler gives this thread: "IFileOperation",
// "SHFileOperation" or "none".
const wchar_t* ActiveDeleterName();

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

// The shell flag set of each kind (kShellFlagsFile and the others).
FILEOP_FLAGS ShellFlagsFor(RecycleKind kind);
