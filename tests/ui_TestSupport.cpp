#include "engine/recycling/DeleterChoice.h"
#include "tests/ui_TestSupport.h"
#include "engine/recycling/Recycler.h"
#include "framework/Dialog.h"
#include "support/ComInit.h"
#include "support/UniqueHandle.h"

#include <shlobj.h>
#include <thread>

namespace uitest {
namespace {
std::function<void()> g_script;
HWND g_watchMain = nullptr;
std::function<void(HWND)> g_onPopup;
UINT_PTR g_watchTimer = 0;

void CALLBACK ScriptTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    std::function<void()> script = std::move(g_script);
    g_script = nullptr;
    if (script) script();
}

BOOL CALLBACK VisitThreadWindow(HWND hwnd, LPARAM popups) {
    wchar_t cls[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    if (hwnd != g_watchMain && ::IsWindowVisible(hwnd) && ::lstrcmpW(cls, L"#32770") == 0)
        reinterpret_cast<std::vector<HWND>*>(popups)->push_back(hwnd);
    return TRUE;
}

void CALLBACK WatchTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_onPopup) return;
    std::vector<HWND> popups;
    ::EnumThreadWindows(::GetCurrentThreadId(), VisitThreadWindow, reinterpret_cast<LPARAM>(&popups));
    std::function<void(HWND)> onPopup = g_onPopup;   // the handler may replace itself
    for (HWND popup : popups) onPopup(popup);
}
} // namespace

void StartScriptTimer(std::function<void()> script) {
    g_script = std::move(script);
    ::SetTimer(nullptr, 0, 50, ScriptTimerProc);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!AfxPumpMessage()) return done();
            if (done()) return true;
        }
    }
    return true;
}

void PumpFor(DWORD ms) {
    DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start >= ms; }, ms + 1000);
}

void WatchPopups(HWND mainWindow, std::function<void(HWND)> onPopup) {
    g_watchMain = mainWindow;
    g_onPopup = std::move(onPopup);
    if (g_onPopup && !g_watchTimer) g_watchTimer = ::SetTimer(nullptr, 0, 50, WatchTimerProc);
    if (!g_onPopup && g_watchTimer) {
        ::KillTimer(nullptr, g_watchTimer);
        g_watchTimer = 0;
    }
}

namespace {
thread_local DialogCreations* t_dialogCreations = nullptr;
}

DialogCreations::DialogCreations() {
    t_dialogCreations = this;
    m_hook = ::SetWindowsHookExW(WH_CBT, &DialogCreations::Watch, nullptr, ::GetCurrentThreadId());
}

DialogCreations::~DialogCreations() {
    if (m_hook) ::UnhookWindowsHookEx(m_hook);
    t_dialogCreations = nullptr;
}

LRESULT CALLBACK DialogCreations::Watch(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_dialogCreations) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        wchar_t cls[16] = L"";
        if (!(create->lpcs->style & WS_CHILD) && ::GetClassNameW(reinterpret_cast<HWND>(wParam), cls, 16) &&
            ::lstrcmpW(cls, L"#32770") == 0) {
            const wchar_t* name = create->lpcs->lpszName;
            t_dialogCreations->m_captions.emplace_back(name && !IS_INTRESOURCE(name) ? name : L"");
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const auto& p : paths) chars += p.size() + 1;
    HGLOBAL block = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(::GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
    for (const auto& p : paths) {
        ::CopyMemory(names, p.c_str(), p.size() * sizeof(wchar_t));
        names += p.size() + 1;
    }
    ::GlobalUnlock(block);
    return block;
}

std::wstring WindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

std::wstring ApartmentThreadDeleter() {
    std::wstring name;
    std::thread([&] {
        ScopedComInit com;
        name = ActiveDeleterName();
    }).join();
    return name;
}

long long ReadUserDword(const std::wstring& key, const wchar_t* value) {
    DWORD data = 0, size = sizeof(data);
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return -1;
    return data;
}

void DeleteUserKey(const std::wstring& key) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

} // namespace uitest
