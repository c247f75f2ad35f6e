#pragma once
// The console's side of a clean-up run: log lines go to standard output as they
// come (oldest first), there is no window, and Ctrl+C becomes the same stop
// request that closing the window makes.
#include <cstdio>
#include <string>
#include <vector>
#include "engine/CleanupHost.h"

// One item that a clean-up could not remove.
struct FAILED_ITEM {
    std::wstring path;
    DWORD error = 0;
};

// What became of one queued folder.
struct FOLDER_RESULT {
    std::wstring folder;
    std::vector<FAILED_ITEM> failures;
};

class CConsoleHost : public ICleanupHost {
public:
    // `progressLine`: keep one updating line on standard error while items go
    // (only when standard error is a console).
    CConsoleHost(bool echoLines, bool progressLine);
    void SetSolutionCount(size_t count) { m_solutions = count; }

    // Log lines of the run, in time order.
    const std::vector<std::wstring>& Lines() const { return m_lines; }
    const std::vector<FOLDER_RESULT>& Folders() const { return m_folders; }
    // True when the run ended without errors.
    bool Succeeded() const { return m_succeeded; }

    void RunStarted() override {}
    void RunEnded(bool errorsSeen) override;
    void Log(const std::wstring& line) override;
    void Progress(UINT done, UINT total, unsigned long long bytes) override;
    bool KeepGoing() override;
    void FolderStarted(const std::wstring& folder) override { m_folders.push_back({folder, {}}); }
    void EraseProgress();
    void ItemFailed(const std::wstring& path, DWORD error) override;
    HWND OwnerWindow() override { return nullptr; }

private:
    bool m_echo;
    bool m_progress;
    size_t m_solutions = 0;
    size_t m_shownLength = 0;   // of the progress line now on the console
    DWORD m_lastDraw = 0;
    bool m_succeeded = false;
    std::vector<std::wstring> m_lines;
    std::vector<FOLDER_RESULT> m_folders;
};

// Routes Ctrl+C and Ctrl+Break to the stop request for the rest of the process.
void InstallConsoleStopHandler();
// True once Ctrl+C or Ctrl+Break was pressed.
bool ConsoleStopRequested();

// Writes UTF-16 text to a console or, redirected, as UTF-8.
void WriteOut(FILE* stream, const std::wstring& text);
