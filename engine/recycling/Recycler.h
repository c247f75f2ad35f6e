#pragma once
// The one road by which anything goes to the Recycle Bin. Two deleters take
// it: today's one shell call per item (SHFileOperationW), and, where Windows
// offers it, IFileOperation, which refuses every delete that would not go to
// the bin before the shell acts and recycles many items in one operation.
#include <windows.h>
#include <functional>
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
