#pragma once
// The console's side of a clean-up run: log lines go to standard output as they
// come (oldest first), there is no window, and Ctrl+C becomes the same stop
// request that closing the window makes.
#include <cstdio>
#include <string>
#include <vector>
#include "engine/undo/BinRoom.h"
#include "engine/records/CleanupHost.h"

struct CLEANUP_PLAN;

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

// The room of the Recycle Bins for one folder's clean-up, checked before its deletion.
struct FOLDER_BIN_ROOMS {
    std::wstring folder;
    std::vector<BIN_ROOM> rooms;
};

// A solution folder left out because a file in it changed too recently.
struct SKIPPED_FOLDER {
    std::wstring folder;
    ULONGLONG newestChange = 0;   // FILETIME
};

// One day in FILETIME units (100 ns).
inline constexpr ULONGLONG kFileTimeUnitsPerDay = 24ull * 60 * 60 * 10'000'000;

// True when a file that a clean-up leaves in place changed after `threshold`
// (both FILETIME); a folder that could not be planned counts as not recent.
inline bool ChangedSince(ULONGLONG newest, ULONGLONG threshold) { return newest != 0 && newest > threshold; }

// "2026-12-08T09:30:00Z" for a FILETIME.
std::wstring IsoTime(ULONGLONG fileTime);

// "Skipped, changed DATE: FOLDER", one line each.
std::wstring SkippedText(const std::vector<SKIPPED_FOLDER>& skipped);

class CConsoleHost : public ICleanupHost {
public:
    enum class Output {
        Text,   // log lines on standard output as they come, a progress line on a console's standard error
        Json,   // nothing until the run is over: the caller prints one document
    };
    explicit CConsoleHost(Output output);
    void SetSolutionCount(size_t count) { m_solutions = count; }
    // A restore's turn of `folder`: its progress line counts items, not bytes.
    void StartRestoreOf(const std::wstring& folder)
    {
        m_folders.push_back({folder, {}});
        m_countBytes = false;
    }
    // Leaves out solution folders in which a file that stays changed after
    // `threshold` (FILETIME; 0: none is left out).
    void SetAgeLimit(ULONGLONG threshold) { m_ageLimit = threshold; }
    const std::vector<SKIPPED_FOLDER>& Skipped() const { return m_skipped; }

    // Log lines of the run, in time order.
    const std::vector<std::wstring>& Lines() const { return m_lines; }
    const std::vector<FOLDER_RESULT>& Folders() const { return m_folders; }
    const std::vector<FOLDER_BIN_ROOMS>& BinRooms() const { return m_binRooms; }
    // True when the run ended without errors.
    bool Succeeded() const { return m_succeeded; }

    void RunStarted() override {}
    void RunEnded(bool errorsSeen) override;
    void Log(const std::wstring& line) override;
    void BinRoomChecked(const std::wstring& folder, const std::vector<BIN_ROOM>& rooms) override
    {
        m_binRooms.push_back({folder, rooms});
    }
    void Progress(UINT done, UINT total, unsigned long long bytes) override;
    bool KeepGoing() override;
    bool FolderPlanned(const CLEANUP_PLAN& plan) override;
    void EraseProgress();
    void ItemFailed(const std::wstring& path, DWORD error) override;
    HWND OwnerWindow() override { return nullptr; }

private:
    bool m_echo;
    bool m_progress;
    bool m_countBytes = true;
    size_t m_solutions = 0;
    ULONGLONG m_ageLimit = 0;
    std::vector<SKIPPED_FOLDER> m_skipped;
    size_t m_shownLength = 0;   // of the progress line now on the console
    DWORD m_lastDraw = 0;
    bool m_succeeded = false;
    std::vector<std::wstring> m_lines;
    std::vector<FOLDER_RESULT> m_folders;
    std::vector<FOLDER_BIN_ROOMS> m_binRooms;
};

// Routes Ctrl+C and Ctrl+Break to the stop request for the rest of the process.
void InstallConsoleStopHandler();
// True once Ctrl+C or Ctrl+Break was pressed.
bool ConsoleStopRequested();

// Writes UTF-16 text to a console or, redirected, as UTF-8.
void WriteOut(FILE* stream, const std::wstring& text);
