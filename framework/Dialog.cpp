#include "framework/Dialog.h"
#include "framework/App.h"

namespace {
// Innermost running modal dialog; they nest, and each remembers the outer one.
CDialog* g_pTopModal = nullptr;
// The keyboard filter that gives modal dialogs their accelerators: the
// system's modal dialog loop calls it with MSGF_DIALOGBOX before navigation.
HHOOK g_hMsgFilterHook = nullptr;
int g_nHookUsers = 0;

LRESULT CALLBACK MessageFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && lParam != 0) {
        MSG* msg = reinterpret_cast<MSG*>(lParam);
        try {
            if (CDialog* dlg = CDialog::FromDescendant(msg->hwnd); dlg && dlg->PreTranslateMessage(msg)) return TRUE;
        } catch (...) {
            // Nothing may unwind through the system's modal loop.
        }
    }
    return ::CallNextHookEx(g_hMsgFilterHook, code, wParam, lParam);
}

// Messages whose result is the dialog procedure's own return value.
bool ReturnsResultDirectly(UINT msg) {
    switch (msg) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}
} // namespace

void CCmdUI::Enable(BOOL on) const {
    ::EnableMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (on ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
}

void CCmdUI::SetCheck(int check) const {
    ::CheckMenuItem(m_hMenu, m_nIndex, MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
}

CDialog::CDialog(UINT templateId, HWND parent) noexcept : m_nTemplateId(templateId), m_hWndParent(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_hWndParent;
    if (!owner) {
        HWND main = AfxGetMainWnd();
        if (main && main != m_hWnd) owner = main;
    }
    if (g_nHookUsers++ == 0)
        g_hMsgFilterHook = ::SetWindowsHookExW(WH_MSGFILTER, MessageFilterProc, nullptr, ::GetCurrentThreadId());
    m_pOuterModal = g_pTopModal;
    g_pTopModal = this;
    HINSTANCE instance = AfxGetApp() ? AfxGetApp()->m_hInstance : ::GetModuleHandleW(nullptr);
    INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(m_nTemplateId), owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    g_pTopModal = m_pOuterModal;
    m_pOuterModal = nullptr;
    if (--g_nHookUsers == 0 && g_hMsgFilterHook) {
        ::UnhookWindowsHookEx(g_hMsgFilterHook);
        g_hMsgFilterHook = nullptr;
    }
    return result;
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::PreTranslateMessage(MSG*) {
    return FALSE;
}

CDialog* CDialog::FromDescendant(HWND hwnd) {
    for (CDialog* dlg = g_pTopModal; dlg; dlg = dlg->m_pOuterModal) {
        if (dlg->m_hWnd && hwnd && (hwnd == dlg->m_hWnd || ::IsChild(dlg->m_hWnd, hwnd))) return dlg;
    }
    return nullptr;
}

void CDialog::UpdateMenuCommandUI(HMENU popup) {
    int count = ::GetMenuItemCount(popup);
    CCmdUI cmdUI;
    cmdUI.m_hMenu = popup;
    for (int i = 0; i < count; ++i) {
        UINT id = ::GetMenuItemID(popup, i);
        if (id == 0 || id == static_cast<UINT>(-1)) continue;   // separator or submenu
        cmdUI.m_nID = id;
        cmdUI.m_nIndex = static_cast<UINT>(i);
        DispatchCommandUpdate(cmdUI);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (...) {
        // A failed handler leaves the message to the default processing.
        return FALSE;
    }
}

INT_PTR CDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    PreFilterMessage(msg, wParam, lParam);

    if (msg == WM_INITDIALOG) return OnInitDialog();
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        PostNcDestroy();
        return FALSE;
    }

    LRESULT result = 0;
    bool handled = DispatchMessageMap(msg, wParam, lParam, result);
    if (!handled && msg == WM_COMMAND && HIWORD(wParam) <= 1) {
        switch (LOWORD(wParam)) {
        case IDOK: OnOK(); handled = true; break;
        case IDCANCEL: OnCancel(); handled = true; break;
        case ID_HELP:
            if (CWinApp* app = AfxGetApp()) app->OnHelp();
            handled = true;
            break;
        default: break;
        }
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(msg)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool AfxPumpMessage() {
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return true;
    if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    if (CDialog* dlg = CDialog::FromDescendant(msg.hwnd)) {
        if (dlg->PreTranslateMessage(&msg) || ::IsDialogMessageW(dlg->GetSafeHwnd(), &msg)) return true;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

bool AfxIdle(LONG count) {
    CWinApp* app = AfxGetApp();
    return app && app->OnIdle(count);
}

bool MenuContains(HMENU menu, HMENU popup) {
    if (!menu || !popup) return false;
    if (menu == popup) return true;
    int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_SUBMENU;
        if (::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) && info.hSubMenu &&
            MenuContains(info.hSubMenu, popup))
            return true;
    }
    return false;
}

HWND AfxGetMainWnd() {
    CWinApp* app = AfxGetApp();
    return app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
}
