#pragma once
// The clean-up run over the queued folders, and the log-line operation.
#include <windows.h>
#include <string>

class ICleanupHost;

// Set by the window when a close is requested during a run; cleared when a run
// starts; read by the deletion's message pump, which then stops the pass.
extern volatile BOOL g_bAbortRequested;

// Puts `line` on top of the log panel's text, then dispatches one queued message.
void AppendLog(ICleanupHost& host, const std::wstring& line);

// Cleans every queued folder of `host`, logs one result line per folder and a
// summary, empties the queue and, after a run without errors, closes the
// window when the host asks for that.
void RunCleanup(ICleanupHost& host);
