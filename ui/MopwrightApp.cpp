#include "ui/MopwrightApp.h"
#include "support/ComInit.h"
#include "ui/MopwrightDlg.h"
#include "ui/WebSite.h"

#include <commctrl.h>

CMopwrightApp theApp;

CMopwrightApp::CMopwrightApp() {
    g_bAbortRequested = FALSE;
}

CMopwrightApp::~CMopwrightApp() = default;

BOOL CMopwrightApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    SetRegistryKey(kWebSiteHost);

    // The window's thread is apartment-threaded COM for the life of the
    // window: the shell's file operation recycles on it.
    ScopedComInit com;
    CMopwrightDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message loop of our own: the dialog's was the program's only one.
    return FALSE;
}
