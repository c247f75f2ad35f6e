#pragma once
// The second guard of every recycle: the shell is asked to warn before it
// would destroy an item that the Recycle Bin cannot take (FOF_WANTNUKEWARNING),
// and that warning is answered No here, console and window alike.
#include <windows.h>
#include <cwchar>

#include "support/UniqueHandle.h"

// While the shell works, every dialog window that it opens on this thread is
// answered No; not while the program's own code runs inside the shell's call
// (a progress sink that answers the host, which may pump the window's
// messages), which a ScopedDestroyRefusalPause marks. With the flags in use the only one it can open is its warning
// before it destroys an item that the Recycle Bin cannot take: the item then
// stays where it is. Nobody has to answer, console or window.
class ScopedDestroyRefusal {
public:
    ScopedDestroyRefusal() noexcept
    {
        t_refused = false;
        m_hook.reset(::SetWindowsHookExW(WH_CBT, &Watch, nullptr, ::GetCurrentThreadId()));
    }
    bool Refused() const noexcept { return t_refused; }

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND && t_paused == 0) {
            const HWND window = reinterpret_cast<HWND>(wParam);
            const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
            wchar_t className[16] = L"";
            if (!(create->lpcs->style & WS_CHILD) && ::GetClassNameW(window, className, 16) &&
                wcscmp(className, L"#32770") == 0) {
                t_refused = true;
                ::PostMessageW(window, WM_COMMAND, IDNO, 0);
                ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            }
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    friend class ScopedDestroyRefusalPause;
    static inline thread_local bool t_refused = false;
    static inline thread_local int t_paused = 0;
    UniqueHook m_hook;
};

// The program's own code runs inside the shell's call: the dialogs it opens
// are its own, and nobody answers them but the user.
class ScopedDestroyRefusalPause {
public:
    ScopedDestroyRefusalPause() noexcept { ++ScopedDestroyRefusal::t_paused; }
    ~ScopedDestroyRefusalPause() { --ScopedDestroyRefusal::t_paused; }
    ScopedDestroyRefusalPause(const ScopedDestroyRefusalPause&) = delete;
    ScopedDestroyRefusalPause& operator=(const ScopedDestroyRefusalPause&) = delete;
};
