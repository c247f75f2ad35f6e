#pragma once
// The console's side of a clean-up run: log lines go to standard output as they
// come (oldest first), there is no window, and Ctrl+C becomes the same stop
// request that closing the window makes.
#include <cstdio>
#include <string>
#include <vector>
#include "engine/CleanupHost.h"

class CConsoleHost : public ICleanupHost {
public:
    CConsoleHost(std::vector<std::wstring> folders, bool deleteSuo, bool echoLines);

    // Log lines of the run, in time order.
    const std::vector<std::wstring>& Lines() const { return m_lines; }
    // True when the run ended without errors (it then asks to close the window).
    bool Succeeded() const { return m_closeRequested; }

    std::vector<std::wstring>& QueuedFolders() override { return m_folders; }
    bool IsDeleteSuoChecked() override { return m_deleteSuo; }
    bool IsCloseAfterCleanup() override { return true; }
    void SetBusy(bool) override {}
    // The console keeps no panel: every new text is just the new line, so the
    // run never re-reads a growing text.
    std::wstring GetLogText() override { return {}; }
    void SetLogText(const std::wstring& text) override;
    void ShowProgress(bool) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void SetProgressMarquee(bool) override {}
    void PostProgressPos(UINT) override {}
    HWND OwnerWindow() override { return nullptr; }
    void BringToForeground() override {}
    void AcceptDrops(bool) override {}
    void BeginWaitCursor() override {}
    void RestoreWaitCursor() override {}
    void EndWaitCursor() override {}
    void PostClose() override { m_closeRequested = true; }
    bool PumpMessage() override;
    // One idle round per pump, so that the pump looks at the stop request
    // between items even though a console has no window messages.
    bool OnIdle(LONG count) override { return count == 0; }

private:
    std::vector<std::wstring> m_folders;
    bool m_deleteSuo;
    bool m_echo;
    bool m_closeRequested = false;
    std::vector<std::wstring> m_lines;
};

// Routes Ctrl+C and Ctrl+Break to the stop request for the rest of the process.
void InstallConsoleStopHandler();

// Writes UTF-16 text to a console or, redirected, as UTF-8.
void WriteOut(FILE* stream, const std::wstring& text);
