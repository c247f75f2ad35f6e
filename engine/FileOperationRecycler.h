#pragma once
// The deleter that goes through IFileOperation where Windows offers it. Its
// decisions are plain functions, so that they hold wherever they are checked.
#include <windows.h>
#include <sherrors.h>

#include "engine/Recycler.h"
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

// The code of one item from the shell's result for it: 0 when it went (or was
// already gone), kErrorRecycleBinRefused when the bin could not take it, the
// system code of a Win32 failure, and otherwise the shell's answer itself,
// including the copy engine's successes that leave the item where it is
// (skipped, pending and the like; only COPYENGINE_S_ALREADY_DONE means done).
DWORD PostDeleteCode(HRESULT hrDelete);

// The operation flags of each kind: its shell flag set, with the copy engine's
// own request for the Recycle Bin.
DWORD FileOperationFlags(RecycleKind kind);

// S_OK when this thread can create an IFileOperation that accepts delete items
// with those flags; otherwise the answer that refused. Queues one delete and
// never performs it.
HRESULT ProbeFileOperationDeletes();

// Batches of up to 200 consecutive items of one kind in one operation each.
// Only for an apartment-threaded COM thread where the probe succeeded.
std::unique_ptr<IRecycler> CreateFileOperationRecycler(HWND owner, IRecycler::Done done);
