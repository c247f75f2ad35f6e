#pragma once
// Which of the deleters this thread uses, and the one call that makes it.
#include <windows.h>
#include <memory>

#include "engine/recycling/Recycler.h"

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
