#pragma once
// A host for the clean-up run without the dialog: it records what the run asks
// of the window, and owns a real message-only window on the test thread, so
// that posted progress positions and the message pump are real.
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>

#include "engine/CleanupHost.h"
#include "engine/CleanupRun.h"

namespace testutil {

class FakeHost : public ICleanupHost {
public:
    FakeHost()
    {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &FakeHost::WindowProc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"MopwrightTestHost";
            return ::RegisterClassW(&wc);
        }();
        (void)atom;
        m_hwnd = ::CreateWindowExW(0, L"MopwrightTestHost", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~FakeHost() override
    {
        if (m_hwnd) ::DestroyWindow(m_hwnd);
        // Nothing of this host may reach the next test.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // --- What the test sets up.
    std::vector<std::wstring> folders;
    bool deleteSuo = false;
    bool closeAfterCleanup = true;
    std::wstring logText;
    // Sets g_bAbortRequested once this many positions were posted (0: never).
    size_t abortAfterPosts = 0;
    // Called after every posted position (for example to queue a folder).
    std::function<void(size_t postedCount)> onPostProgress;
    // How many times OnIdle answers true in a row before it answers false.
    LONG idleRounds = 0;

    // --- What the run did.
    std::vector<std::wstring> events;        // calls in order, in short words
    std::vector<UINT> postedPositions;       // as posted
    std::vector<UINT> deliveredPositions;    // as dispatched to the window
    size_t messagesPumped = 0;
    size_t idleCalls = 0;
    bool busy = false;
    bool dropsAccepted = true;
    bool progressVisible = false;
    bool marquee = false;
    int progressPos = -1;
    bool closePosted = false;
    int waitCursorDepth = 0;

    HWND hwnd() const { return m_hwnd; }

    // The log panel's lines from the top (newest first).
    std::vector<std::wstring> LogLines() const
    {
        std::vector<std::wstring> lines;
        size_t start = 0;
        for (;;) {
            size_t end = logText.find(L"\r\n", start);
            if (end == std::wstring::npos) {
                lines.push_back(logText.substr(start));
                break;
            }
            lines.push_back(logText.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    // --- ICleanupHost
    std::vector<std::wstring>& QueuedFolders() override { return folders; }
    bool IsDeleteSuoChecked() override { events.push_back(L"suo?"); return deleteSuo; }
    bool IsCloseAfterCleanup() override { return closeAfterCleanup; }
    void SetBusy(bool b) override { busy = b; events.push_back(b ? L"busy+" : L"busy-"); }
    std::wstring GetLogText() override { return logText; }
    void SetLogText(const std::wstring& text) override { logText = text; }
    void ShowProgress(bool show) override { progressVisible = show; events.push_back(show ? L"show" : L"hide"); }
    void SetProgressRange(int low, int high) override
    {
        events.push_back(L"range " + std::to_wstring(low) + L" " + std::to_wstring(high));
    }
    void SetProgressPos(int pos) override { progressPos = pos; events.push_back(L"pos " + std::to_wstring(pos)); }
    void SetProgressMarquee(bool m) override { marquee = m; events.push_back(m ? L"marquee+" : L"marquee-"); }
    void PostProgressPos(UINT pos) override
    {
        postedPositions.push_back(pos);
        ::PostMessageW(m_hwnd, PBM_SETPOS, pos, 0);
        if (abortAfterPosts && postedPositions.size() == abortAfterPosts) g_bAbortRequested = TRUE;
        if (onPostProgress) onPostProgress(postedPositions.size());
    }
    HWND OwnerWindow() override { return m_hwnd; }
    void BringToForeground() override { events.push_back(L"foreground"); }
    void AcceptDrops(bool accept) override
    {
        dropsAccepted = accept;
        events.push_back(accept ? L"drops+" : L"drops-");
    }
    void BeginWaitCursor() override { ++waitCursorDepth; events.push_back(L"cursor+"); }
    void RestoreWaitCursor() override { events.push_back(L"cursor restore"); }
    void EndWaitCursor() override { --waitCursorDepth; events.push_back(L"cursor-"); }
    void PostClose() override { closePosted = true; events.push_back(L"close"); }

    bool PumpMessage() override
    {
        MSG msg;
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return true;
        if (msg.message == WM_QUIT) return false;
        ++messagesPumped;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        return true;
    }
    bool OnIdle(LONG count) override
    {
        ++idleCalls;
        return count < idleRounds;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<FakeHost*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == PBM_SETPOS) {
            self->deliveredPositions.push_back(static_cast<UINT>(wParam));
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
};

} // namespace testutil
