#pragma once
// A host for the clean-up run without a window: it records what the run tells
// it, keeps a log panel's text (newest line first) and answers KeepGoing as
// the test says.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "engine/records/CleanupHost.h"
#include "engine/running/CleanupRun.h"
#include "engine/planning/Planner.h"
#include "tests/TestUtil.h"

namespace testutil {

class FakeHost : public ICleanupHost {
public:
    // --- What the test sets up.
    std::vector<std::wstring> folders;   // the run's queue
    bool deleteSuo = false;
    std::wstring logText;                // as a panel shows it: newest line first
    bool stopRequested = false;          // KeepGoing answers !stopRequested
    // Raises the stop request once this many items were reported done (0: never).
    size_t stopAfterItems = 0;
    // Called after every item's progress report with the number reported so far.
    std::function<void(size_t items)> onItem;

    // --- What the run did.
    std::vector<std::wstring> events;    // "started", "progress 0/N", "ended", "ended with errors"
    std::vector<UINT> itemsDone;         // `done` of every report after an item
    UINT total = 0;                      // `total` of the last report
    size_t keepGoingCalls = 0;
    std::vector<std::pair<std::wstring, DWORD>> failures;

    // Runs the clean-up over `queue` (oldest line below `earlier` in the log).
    void Run(const std::vector<std::wstring>& queue, const std::wstring& earlier = L"earlier")
    {
        folders = queue;
        logText = earlier;
        CLEANUP_OPTIONS options;
        options.deleteSuo = deleteSuo ? TRUE : FALSE;
        RunCleanup(*this, folders, options);
    }
    // The log's lines from the top (newest first).
    std::vector<std::wstring> LogLines() const { return SplitLines(logText); }
    bool EndedWithoutErrors() const { return !events.empty() && events.back() == L"ended"; }

    // --- ICleanupHost
    void RunStarted() override { events.push_back(L"started"); }
    void RunEnded(bool errorsSeen) override { events.push_back(errorsSeen ? L"ended with errors" : L"ended"); }
    bool FolderPlanned(const CLEANUP_PLAN&) override { return true; }
    void Log(const std::wstring& line) override { logText = line + L"\r\n" + logText; }
    void Progress(UINT done, UINT all, unsigned long long) override
    {
        total = all;
        if (done == 0) {
            events.push_back(L"progress 0/" + std::to_wstring(all));
            return;
        }
        itemsDone.push_back(done);
        if (stopAfterItems && itemsDone.size() == stopAfterItems) stopRequested = true;
        if (onItem) onItem(itemsDone.size());
    }
    bool KeepGoing() override
    {
        ++keepGoingCalls;
        return !stopRequested;
    }
    void ItemFailed(const std::wstring& path, DWORD error) override { failures.emplace_back(path, error); }
    HWND OwnerWindow() override { return nullptr; }
};

} // namespace testutil
