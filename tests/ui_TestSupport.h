#pragma once
// Driving the real dialogs in-process: a script runs inside the dialog's modal
// loop (from a thread timer), pops-ups of the thread are answered by a
// watcher, and the pump keeps the window alive while the test waits.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "support/NoCopy.h"

namespace uitest {

// Runs `dlg` modally; `script` runs inside its modal loop once it is up. The
// dialog is ended afterwards if the script left it open.
template <class Dlg>
INT_PTR RunWithScript(Dlg& dlg, std::function<void()> script);

// Dispatches messages (through the program's own pump) until `done` answers
// true or `timeoutMs` has passed; answers `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);
void PumpFor(DWORD ms);

// Every 50 ms while it is set, `onPopup` sees each visible dialog window of
// this thread other than `mainWindow` (message boxes, the About box, the
// folder browser). Reset with an empty function.
void WatchPopups(HWND mainWindow, std::function<void(HWND popup)> onPopup);

// Records every top-level dialog window (#32770) created on this thread while
// it lives, whoever creates it: the caption it was created with, if any.
class DialogCreations : private CNoCopy {
public:
    DialogCreations();
    ~DialogCreations();
    const std::vector<std::wstring>& captions() const { return m_captions; }

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook = nullptr;
    std::vector<std::wstring> m_captions;
};

// A real drop: a DROPFILES block with wide names, as the shell builds it. The
// window that receives it frees it.
HGLOBAL MakeDrop(const std::vector<std::wstring>& paths);

std::wstring WindowText(HWND hwnd);
// The deleter that an apartment-threaded thread gets (asked on a thread of its own).
std::wstring ApartmentThreadDeleter();
// A DWORD of HKCU\<key>, or -1 when it is absent.
long long ReadUserDword(const std::wstring& key, const wchar_t* value);
void DeleteUserKey(const std::wstring& key);

// Internals of RunWithScript.
void StartScriptTimer(std::function<void()> script);

template <class Dlg>
INT_PTR RunWithScript(Dlg& dlg, std::function<void()> script) {
    StartScriptTimer([&dlg, script = std::move(script)] {
        script();
        if (dlg.GetSafeHwnd()) dlg.EndDialog(-1);
    });
    return dlg.DoModal();
}

} // namespace uitest
