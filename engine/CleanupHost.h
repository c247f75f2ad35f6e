#pragma once
// What the clean-up run needs of the window that hosts it. The main dialog
// implements it; the console program and the tests have their own.
#include <windows.h>
#include <string>
#include <vector>

class ICleanupHost {
public:
    virtual ~ICleanupHost() = default;

    // The folders queued for the run, in arrival order; the run reads them by
    // index (the list may grow while it runs) and empties the list at its end.
    virtual std::vector<std::wstring>& QueuedFolders() = 0;
    virtual bool IsDeleteSuoChecked() = 0;          // read once at the start of a run
    virtual bool IsCloseAfterCleanup() = 0;         // read once at the end of a run
    virtual void SetBusy(bool busy) = 0;            // m_bBusy

    // Log panel: its whole text, read and replaced by AppendLog.
    virtual std::wstring GetLogText() = 0;
    virtual void SetLogText(const std::wstring& text) = 0;

    // Progress bar (range 0..16384).
    virtual void ShowProgress(bool show) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetProgressMarquee(bool marquee) = 0;   // style and animation together
    virtual void PostProgressPos(UINT pos) = 0;          // posted, so it paints when messages are pumped

    // The window itself.
    virtual HWND OwnerWindow() = 0;                 // owner of the shell's delete; may be null
    virtual void BringToForeground() = 0;
    virtual void AcceptDrops(bool accept) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void RestoreWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void PostClose() = 0;                   // post WM_CLOSE

    // Message pump: retrieve and dispatch one message that is already queued
    // (never wait); false when it was WM_QUIT. OnIdle: the idle handler, true
    // while it wants more idle time.
    virtual bool PumpMessage() = 0;
    virtual bool OnIdle(LONG count) = 0;
};
