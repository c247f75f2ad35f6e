#pragma once
// The deleter that goes through IFileOperation where Windows offers it. Its
// decisions are plain functions, so that they hold wherever they are checked.
#include <windows.h>
#include <sherrors.h>
#include <memory>
#include <string>

#include "engine/recycling/Recycler.h"
#include "engine/recycling/VolumeBin.h"
#include "support/ErrorText.h"

// Copy engine answers of the current SDK that mingw-w64's headers lack: work
// started, not done.
#ifndef COPYENGINE_S_PENDING_DELETE
#define COPYENGINE_S_PENDING_DELETE _HRESULT_TYPEDEF_(0x00270010L)       // an asynchronous delete was started
#endif
#ifndef COPYENGINE_S_PENDING_BATCH_COPY
#define COPYENGINE_S_PENDING_BATCH_COPY _HRESULT_TYPEDEF_(0x00270011L)   // a batch copy was queued for a retry
#endif

// The progress sink's refusal of a permanent delete: this program's own code
// as a failure, so that the shell stops before it destroys anything.
inline constexpr HRESULT kDestroyRefused = static_cast<HRESULT>(0x80000000u | kErrorRecycleBinRefused);

// What the sink answers before the shell deletes an item whose transfer flags
// are `tsfFlags`: S_OK when it goes to the Recycle Bin
// (TSF_DELETE_RECYCLE_IF_POSSIBLE), kDestroyRefused when it would be destroyed.
HRESULT PreDeleteVerdict(DWORD tsfFlags);

// The code of one item from the shell's result for it: 0 when the shell says
// it is done with it (or it was already gone), kErrorRecycleBinRefused when
// the bin could not take it, the system code of a Win32 failure, and otherwise
// the shell's answer itself, including the copy engine's successes that leave
// the item where it is (skipped, pending and the like).
DWORD PostDeleteCode(HRESULT hrDelete);

// What PostDeleteItem's answer makes of an item: its code, where `newItem`
// tells whether the shell named the item it made in the Recycle Bin. A success
// without one means the item was deleted permanently (kErrorItemDestroyed),
// unless it was not there to begin with.
DWORD DeleteOutcome(HRESULT hrDelete, bool newItem);

// How a system asks the copy engine for the Recycle Bin: FOF_ALLOWUNDO (Vista
// and Windows 7, which know nothing else), or FOFX_RECYCLEONDELETE without an
// Explorer undo record (Windows 8 and later).
enum class RecycleRequest { AllowUndo, RecycleOnDelete };
RecycleRequest ThisSystemsRecycleRequest();

// The operation flags of each kind: its shell flag set, asking for the bin as
// `request` says.
DWORD FileOperationFlags(RecycleKind kind, RecycleRequest request);

// S_OK when this thread can create an IFileOperation that accepts delete items
// with this system's flags; otherwise the answer that refused. Queues the
// delete of a known folder, which always parses, and never performs it.
HRESULT ProbeFileOperationDeletes();

// Which deleter a probe's answer selects: IFileOperation when it succeeded,
// today's path only where the operation takes no delete items (E_NOTIMPL, as
// under Wine), and none at all for any other failure.
enum class DeleterChoice { FileOperation, ShellCall, None };
DeleterChoice ChooseDeleter(HRESULT probe);

// The log lines of this deleter: no usable operation; an item the shell
// deleted permanently; a drive whose bin is off or absent.
std::wstring NoDeleterLine(HRESULT probe);
std::wstring DestroyedLine(const std::wstring& path);
std::wstring DriveWithoutBinLine(const std::wstring& volume, BinState state);

// Batches of up to 200 consecutive items of one kind in one operation each.
// Only for an apartment-threaded COM thread where the probe succeeded.
std::unique_ptr<IRecycler> CreateFileOperationRecycler(HWND owner, RECYCLER_EVENTS events);

// Whether any item was deleted permanently through IFileOperation in this
// process: from then on it recycles nothing (every item fails closed).
bool RecyclingStopped();
