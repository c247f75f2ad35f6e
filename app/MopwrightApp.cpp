#include "app/MopwrightApp.h"
#include "support/ComInit.h"
#include "support/Version.h"
#include "ui/MopwrightDlg.h"
#include "ui/WebSite.h"

#include <commctrl.h>

BOOL g_bWin7OrLater = FALSE;

CMopwrightApp theApp;

CMopwrightApp::CMopwrightApp() {
    g_bWin7OrLater = FALSE;
    g_bAbortRequested = FALSE;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetOSVersion(&version))
        g_bWin7OrLater = version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
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
