#pragma once
// The clean-up run over the queued folders, and the log-line operation.
#include <windows.h>
#include <string>

class ICleanupHost;

// Set by the window when a close is requested during a run; cleared when a run
// starts; read by the deletion's message pump, which then stops the pass.
extern volatile BOOL g_bAbortRequested;

// TRUE when `folder` exists and is a directory, looked at with the WOW64
// file-system redirection switched off (for this test alone).
bool IsAccessibleFolder(const std::wstring& folder);

// Puts `line` on top of the log panel's text, then dispatches one queued message.
void AppendLog(ICleanupHost& host, const std::wstring& line);

// Cleans every queued folder of `host`, logs one result line per folder and a
// summary, empties the queue and, after a run without errors, closes the
// window when the host asks for that.
void RunCleanup(ICleanupHost& host);
