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

class IRecycler {
public:
    // What became of one item, called once per item right after the shell
    // handled it, in the order the shell handles them, which is the order
    // added: code 0 when it went (a vanished item counts as gone), else why it
    // stayed. Answer false to stop: the items not yet handled stay untouched
    // and are not reported.
    using Done = std::function<bool(const std::wstring& path, DWORD code)>;

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
// path everywhere else. Neither checks that an item is gone afterwards: `done`
// hears the shell's answer, and the caller checks.
std::unique_ptr<IRecycler> CreateRecycler(HWND owner, IRecycler::Done done);

// The name of the deleter CreateRecycler gives this thread: "IFileOperation"
// or "SHFileOperation".
const wchar_t* ActiveDeleterName();

// The shell flag set of each kind (kShellFlagsFile and the others).
FILEOP_FLAGS ShellFlagsFor(RecycleKind kind);
