#pragma once
// A modal dialog base in the message-table style: DoModal passes `this`
// through DialogBoxParamW, the dialog procedure stores it at WM_INITDIALOG
// and hands every message to one handler from the derived class's table.
// No exception ever leaves the dialog procedure.
#include <windows.h>
#include <span>

// Command id of the framework's help command; the application object gets it.
inline constexpr UINT ID_HELP = 0xE146;

// The state of one menu item while its popup opens; command-update handlers
// set its check mark and enabled state.
class CCmdUI {
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;
    HMENU m_hMenu = nullptr;

    void Enable(BOOL on = TRUE) const;
    void SetCheck(int check = 1) const;
};

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr) noexcept;
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; the owner is `parent`, else the main
    // window of the application (when that is not this dialog).
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    HWND GetDlgItem(int id) const noexcept { return ::GetDlgItem(m_hWnd, id); }

    // Keyboard messages on their way to this dialog: TRUE consumes one.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // Runs the command-update handlers for every item of `popup`; items
    // without a handler keep their state.
    void UpdateMenuCommandUI(HMENU popup);

    // The innermost running modal dialog of ours that `hwnd` belongs to.
    static CDialog* FromDescendant(HWND hwnd);

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Every message sees this first; it never consumes one.
    virtual void PreFilterMessage(UINT, WPARAM, LPARAM) {}
    // The window is gone (WM_NCDESTROY has been handled).
    virtual void PostNcDestroy() {}

    // The derived class's message table (CDialogImpl fills these in).
    virtual bool DispatchMessageMap(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    virtual bool DispatchCommandUpdate(CCmdUI& cmdUI) = 0;

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    HWND m_hWndParent;
    CDialog* m_pOuterModal = nullptr;   // the modal dialog running when this one started
};

// One row of a message table: a window message, a command (menu, accelerator
// or control notification), a WM_NOTIFY code from a control, or the
// command-update handler of a menu command.
template <class T>
struct MessageEntry {
    enum class Kind { Message, Command, ControlCommand, Notify, UpdateUI };
    Kind kind;
    UINT id;      // Message: the message; otherwise the command or control id
    UINT code;    // ControlCommand and Notify: the notification code
    bool (T::*onMessage)(WPARAM, LPARAM, LRESULT&) = nullptr;   // false: default processing
    void (T::*onCommand)() = nullptr;
    LRESULT (T::*onNotify)(NMHDR*) = nullptr;
    void (T::*onUpdate)(CCmdUI&) = nullptr;
};

namespace msgmap {
template <class T>
constexpr MessageEntry<T> Message(UINT msg, bool (T::*fn)(WPARAM, LPARAM, LRESULT&)) {
    return {MessageEntry<T>::Kind::Message, msg, 0, fn, nullptr, nullptr, nullptr};
}
// A command from a menu item or an accelerator.
template <class T>
constexpr MessageEntry<T> Command(UINT id, void (T::*fn)()) {
    return {MessageEntry<T>::Kind::Command, id, 0, nullptr, fn, nullptr, nullptr};
}
template <class T>
constexpr MessageEntry<T> ControlCommand(UINT id, UINT code, void (T::*fn)()) {
    return {MessageEntry<T>::Kind::ControlCommand, id, code, nullptr, fn, nullptr, nullptr};
}
template <class T>
constexpr MessageEntry<T> Notify(UINT id, UINT code, LRESULT (T::*fn)(NMHDR*)) {
    return {MessageEntry<T>::Kind::Notify, id, code, nullptr, nullptr, fn, nullptr};
}
template <class T>
constexpr MessageEntry<T> UpdateUI(UINT id, void (T::*fn)(CCmdUI&)) {
    return {MessageEntry<T>::Kind::UpdateUI, id, 0, nullptr, nullptr, nullptr, fn};
}
} // namespace msgmap

// Derive `class CMyDlg : public CDialogImpl<CMyDlg>` and give it
// `static std::span<const MessageEntry<CMyDlg>> GetMessageMap();`.
template <class T>
class CDialogImpl : public CDialog {
public:
    using CDialog::CDialog;

protected:
    bool DispatchMessageMap(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        using Kind = typename MessageEntry<T>::Kind;
        T* self = static_cast<T*>(this);
        const UINT cmdId = LOWORD(wParam), cmdCode = HIWORD(wParam);
        for (const MessageEntry<T>& e : T::GetMessageMap()) {
            switch (e.kind) {
            case Kind::Message:
                if (e.id == msg) return (self->*e.onMessage)(wParam, lParam, result);
                break;
            case Kind::Command:   // code 0 from a menu, 1 from an accelerator
                if (msg == WM_COMMAND && lParam == 0 && e.id == cmdId && cmdCode <= 1) {
                    (self->*e.onCommand)();
                    return true;
                }
                break;
            case Kind::ControlCommand:
                if (msg == WM_COMMAND && lParam != 0 && e.id == cmdId && e.code == cmdCode) {
                    (self->*e.onCommand)();
                    return true;
                }
                break;
            case Kind::Notify:
                if (msg == WM_NOTIFY && lParam != 0) {
                    auto* hdr = reinterpret_cast<NMHDR*>(lParam);
                    if (hdr->idFrom == e.id && hdr->code == e.code) {
                        result = (self->*e.onNotify)(hdr);
                        return true;
                    }
                }
                break;
            case Kind::UpdateUI:
                break;
            }
        }
        return false;
    }

    bool DispatchCommandUpdate(CCmdUI& cmdUI) override {
        T* self = static_cast<T*>(this);
        for (const MessageEntry<T>& e : T::GetMessageMap()) {
            if (e.kind == MessageEntry<T>::Kind::UpdateUI && e.id == cmdUI.m_nID) {
                (self->*e.onUpdate)(cmdUI);
                return true;
            }
        }
        return false;
    }
};

// The single-message pump for long operations on the user-interface thread:
// dispatches one message that is already queued (never waits), with the
// dialogs' accelerators and keyboard navigation applied. FALSE when the
// message was WM_QUIT, which is posted again for the modal loop to see.
bool AfxPumpMessage();

// TRUE when `popup` is `menu` or lies anywhere in its submenus.
bool MenuContains(HMENU menu, HMENU popup);

// The application's idle work; TRUE while it wants more.
bool AfxIdle(LONG count);
