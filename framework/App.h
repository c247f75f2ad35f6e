#pragma once
// The application object: one per process, built during static initialisation
// and reached through AfxGetApp(). It carries the registry profile of the
// settings and the idle hook that long operations call while they pump.
#include <windows.h>
#include <string>

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up work; answering FALSE ends the process without a message loop.
    virtual BOOL InitInstance() { return TRUE; }
    // Idle work between messages; TRUE while it wants more idle time.
    virtual BOOL OnIdle(LONG count);
    // ID_HELP: the program has no help file, so there is nothing to open.
    virtual void OnHelp() {}

    // Profile values live under HKCU\Software\<company>\<application>\<section>.
    // Until a company key is set nothing is stored and reads give the default.
    void SetRegistryKey(const wchar_t* company);
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue) const;
    BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) const;
    // "Software\<company>\<application>\<section>" (below HKEY_CURRENT_USER).
    std::wstring GetSectionKeyPath(const wchar_t* section) const;

    const std::wstring& GetAppName() const { return m_strAppName; }

    HINSTANCE m_hInstance;
    CDialog* m_pMainWnd = nullptr;   // the window the program lives in, while it runs

private:
    std::wstring m_strAppName;       // the program file's base name
    std::wstring m_strRegistryKey;
};

CWinApp* AfxGetApp();
// The main window's handle, or null before it exists.
HWND AfxGetMainWnd();

// Shows the wait cursor for the life of the object; Restore() puts it back
// after message pumping may have changed it.
class CWaitCursor {
public:
    CWaitCursor() noexcept;
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore() noexcept;

private:
    HCURSOR m_hPrevCursor;
};
