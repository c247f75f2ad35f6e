#include "ui/MopwrightDlg.h"
#include "ui/resource.h"
#include "engine/undo/RemovalJournal.h"
#include "engine/running/CleanupRun.h"
#include "engine/planning/Planner.h"
#include "engine/undo/Restore.h"
#include "support/PathUtil.h"
#include "ui/AboutDlg.h"
#include "ui/FolderPicker.h"
#include "ui/WebSite.h"

#include <commctrl.h>
#include <shellapi.h>
#include <cstdlib>

volatile BOOL g_bAbortRequested = FALSE;

namespace {
using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

// Looked up once at start in the common controls that the manifest binds
// (loaded by bare name so the side-by-side version 6 is the one found).
LoadIconWithScaleDownFn ResolveLoadIconWithScaleDown() {
    HMODULE comctl = ::LoadLibraryW(L"Comctl32.dll");   // stays loaded for the process
    if (!comctl) return nullptr;
    return reinterpret_cast<LoadIconWithScaleDownFn>(
        reinterpret_cast<void*>(::GetProcAddress(comctl, "LoadIconWithScaleDown")));
}
const LoadIconWithScaleDownFn g_pfnLoadIconWithScaleDown = ResolveLoadIconWithScaleDown();

// Windows 10 (1607) and later know each window's own DPI; user32 is always
// loaded, and the program must still start where the function is missing.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
const GetDpiForWindowFn g_pfnGetDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
    reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));

constexpr int kLargeIconSize = 128;   // pixels at 96 dpi

// The DPI the window is drawn at.
UINT GetWindowDpi(HWND hwnd) {
    if (g_pfnGetDpiForWindow && hwnd)
        if (UINT dpi = g_pfnGetDpiForWindow(hwnd)) return dpi;
    // Older systems scale the whole session alike: the window's DC tells it.
    ScopedWindowDC dc(hwnd);
    return dc ? static_cast<UINT>(::GetDeviceCaps(dc.get(), LOGPIXELSY)) : USER_DEFAULT_SCREEN_DPI;
}

int GetLargeAppIconSize(HWND hwnd) {
    return ::MulDiv(kLargeIconSize, static_cast<int>(GetWindowDpi(hwnd)), USER_DEFAULT_SCREEN_DPI);
}

HINSTANCE ResourceInstance() {
    CWinApp* app = AfxGetApp();
    return app ? app->m_hInstance : ::GetModuleHandleW(nullptr);
}
} // namespace

HICON LoadLargeAppIcon(int size) {
    if (g_pfnLoadIconWithScaleDown) {
        HICON icon = nullptr;
        if (FAILED(g_pfnLoadIconWithScaleDown(ResourceInstance(), MAKEINTRESOURCEW(IDI_APP_ICON), size, size, &icon)))
            return nullptr;
        return icon;
    }
    return static_cast<HICON>(
        ::LoadImageW(ResourceInstance(), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

CMopwrightDlg::CMopwrightDlg(HWND parent)
    : CDialogImpl(IDD_MAIN_DIALOG, parent),
      m_hIcon(::LoadIconW(ResourceInstance(), MAKEINTRESOURCEW(IDI_APP_ICON))) {}

CMopwrightDlg::~CMopwrightDlg() = default;

std::span<const MessageEntry<CMopwrightDlg>> CMopwrightDlg::GetMessageMap() {
    using namespace msgmap;
    using D = CMopwrightDlg;
    static const MessageEntry<D> map[] = {
        Message(WM_SYSCOMMAND, &D::OnSysCommand),
        Message(WM_PAINT, &D::OnPaint),
        Message(WM_QUERYDRAGICON, &D::OnQueryDragIcon),
        Message(WM_TIMER, &D::OnTimer),
        Message(WM_CTLCOLORSTATIC, &D::OnCtlColorStatic),
        Message(WM_HELP, &D::OnHelpInfo),
        Message(WM_INITMENUPOPUP, &D::OnInitMenuPopup),
        Message(WM_CLOSE, &D::OnClose),
        ControlCommand(IDC_CHECK_DEL_SUO, BN_CLICKED, &D::OnCheckDelSuo),
        Command(ID_FILE_OPEN_AND_CLEAN, &D::OnFileOpenAndClean),
        Command(ID_FILE_EXIT, &D::OnFileExit),
        Command(ID_EDIT_CLOSE_AFTER_CLEANUP, &D::OnEditCloseAfterCleanup),
        Command(ID_EDIT_CLEAR_LOG, &D::OnEditClearLog),
        Command(ID_EDIT_RESTORE_LAST_CLEANUP, &D::OnEditRestoreLastCleanup),
        Command(ID_HELP_CHECK_FOR_UPDATE, &D::OnHelpCheckForUpdate),
        Command(ID_HELP_ABOUT, &D::OnHelpAbout),
        UpdateUI(ID_FILE_OPEN_AND_CLEAN, &D::OnUpdateFileOpenAndClean),
        UpdateUI(ID_EDIT_CLOSE_AFTER_CLEANUP, &D::OnUpdateEditCloseAfterCleanup),
        UpdateUI(ID_EDIT_CLEAR_LOG, &D::OnUpdateEditClearLog),
        UpdateUI(ID_EDIT_RESTORE_LAST_CLEANUP, &D::OnUpdateEditRestoreLastCleanup),
        UpdateUI(ID_HELP_ABOUT, &D::OnUpdateHelpAbout),
    };
    return map;
}

void CMopwrightDlg::RunCleanup() {
    try {
        CLEANUP_OPTIONS options;
        options.deleteSuo = IsDeleteSuoChecked() ? TRUE : FALSE;
        ::RunCleanup(*this, m_arrFolders, options);
    } catch (...) {
        // A run that failed half-way must not leave the window unable to
        // close or to take drops: back to idle, then let the dialog drop it.
        m_arrFolders.clear();
        LeaveRun();
        throw;
    }
}

BOOL CMopwrightDlg::PreTranslateMessage(MSG* msg) {
    return m_hAccel && ::TranslateAcceleratorW(m_hWnd, m_hAccel, msg);
}

std::vector<std::wstring> CMopwrightDlg::GetCommandLineFolders() const {
    std::vector<std::wstring> folders;
    // The runtime's own split of the command line, as a wide-character
    // program receives it; the shell's split where the runtime has none.
    if (__wargv) {
        for (int i = 1; i < __argc; ++i) folders.emplace_back(__wargv[i]);
        return folders;
    }
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    UniqueLocal args(reinterpret_cast<HLOCAL>(argv));
    for (int i = 1; argv && i < argc; ++i) folders.emplace_back(argv[i]);
    return folders;
}

BOOL CMopwrightDlg::OnInitDialog() {
    m_editLog = GetDlgItem(IDC_EDIT_LOG);
    m_checkDelSuo = GetDlgItem(IDC_CHECK_DEL_SUO);
    m_progress = GetDlgItem(IDC_PROGRESS);
    CWinApp* app = AfxGetApp();

    if (HMENU sysMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t text[256] = L"";
        if (::LoadStringW(ResourceInstance(), IDS_ABOUTBOX, text, 256) > 0 && text[0]) {
            ::AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_bCloseAfterCleanup = app && app->GetProfileInt(kSettingsSection, kCloseAfterCleanupEntry, 1) != 0;
    m_hAccel = ::LoadAcceleratorsW(ResourceInstance(), MAKEINTRESOURCEW(IDR_MAIN_ACCEL));
    ::DragAcceptFiles(m_hWnd, TRUE);
    bool delSuo = app && app->GetProfileInt(kSettingsSection, kDelSuoEntry, 0) != 0;
    ::SendMessageW(m_checkDelSuo, BM_SETCHECK, delSuo ? BST_CHECKED : BST_UNCHECKED, 0);

    for (std::wstring& folder : GetCommandLineFolders()) m_arrFolders.push_back(std::move(folder));

    // The panel sets no limit on its length.
    ::SendMessageW(m_editLog, EM_SETLIMITTEXT, 0, 0);
    ::ShowWindow(m_progress, SW_HIDE);
    if (m_arrFolders.empty())
        ::ShowWindow(m_editLog, SW_HIDE);
    else
        ::SetTimer(m_hWnd, IDT_START_CLEANUP, kStartCleanupDelay, nullptr);
    return TRUE;
}

void CMopwrightDlg::PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DROPFILES) OnDropFiles(reinterpret_cast<HDROP>(wParam));
    HandleDragMove(msg, wParam, lParam, m_hWnd, m_dragMove);
}

void CMopwrightDlg::PostNcDestroy() {
    m_hLargeIcon.reset();
}

void CMopwrightDlg::ShowLogPanel() {
    ::ShowWindow(m_editLog, SW_SHOW);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

void CMopwrightDlg::OnDropFiles(HDROP hDrop) {
    UniqueDrop drop(hDrop);
    if (!drop) return;
    int count = static_cast<int>(::DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0));
    if (count <= 0) return;
    for (int i = 0; i < count; ++i) {
        UINT length = ::DragQueryFileW(drop.get(), static_cast<UINT>(i), nullptr, 0);
        if (length == 0) continue;
        std::wstring name(length, L'\0');   // the string keeps room for the terminator
        if (::DragQueryFileW(drop.get(), static_cast<UINT>(i), name.data(), length + 1) == length)
            m_arrFolders.push_back(std::move(name));
    }
    // Drop acceptance is off during a run, but a drop that was already on its
    // way joins the running queue: the run reads its length before every
    // folder, so the folder is cleaned and logged in this run.
    if (m_bBusy) return;
    if (!m_arrFolders.empty()) {
        // Re-arming restarts the delay, so quick drops end in one run.
        ::SetTimer(m_hWnd, IDT_START_CLEANUP, kStartCleanupDelay, nullptr);
        ShowLogPanel();
    }
}

bool CMopwrightDlg::OnSysCommand(WPARAM wParam, LPARAM, LRESULT&) {
    if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
    OnHelpAbout();
    return true;
}

bool CMopwrightDlg::OnPaint(WPARAM, LPARAM, LRESULT&) {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    if (::IsIconic(m_hWnd)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, m_hIcon);
        ::EndPaint(m_hWnd, &ps);
        return true;
    }
    if (!::IsWindowVisible(m_editLog)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        // Loaded for the DPI the window has now: it changes when the window
        // moves to a monitor with another scale.
        int size = GetLargeAppIconSize(m_hWnd);
        if (size != m_nLargeIconSize) {
            m_hLargeIcon.reset(LoadLargeAppIcon(size));
            m_nLargeIconSize = size;
        }
        int left = client.left + (client.right - client.left - size) / 2;
        int top = client.top + (client.bottom - client.top - size) / 2;
        ::DrawIconEx(dc, left, top, m_hLargeIcon.get(), size, size, 0, ::GetSysColorBrush(COLOR_BTNFACE), DI_NORMAL);
        ::EndPaint(m_hWnd, &ps);
    }
    return false;   // the dialog's own painting follows
}

bool CMopwrightDlg::OnQueryDragIcon(WPARAM, LPARAM, LRESULT& result) {
    result = reinterpret_cast<LRESULT>(m_hIcon);
    return true;
}

bool CMopwrightDlg::OnTimer(WPARAM wParam, LPARAM, LRESULT&) {
    if (wParam == IDT_START_CLEANUP) {
        // A dialog of the window's own is open (it disables the window while
        // it is): the run waits for it to close, and the timer fires again.
        if (!m_bBusy && !::IsWindowEnabled(m_hWnd)) return false;
        ::KillTimer(m_hWnd, IDT_START_CLEANUP);
        // Never a run inside a run: a running one already takes what is queued.
        if (!m_bBusy) RunCleanup();
    }
    return false;
}

bool CMopwrightDlg::OnCtlColorStatic(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = ::DefWindowProcW(m_hWnd, WM_CTLCOLORSTATIC, wParam, lParam);
    int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (id == IDC_STATIC_SUO_NOTE || id == IDC_STATIC_INTRO)
        ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_3DDKSHADOW));
    return true;
}

bool CMopwrightDlg::OnHelpInfo(WPARAM, LPARAM, LRESULT& result) {
    result = TRUE;   // F1: the program has no help
    return true;
}

bool CMopwrightDlg::OnInitMenuPopup(WPARAM wParam, LPARAM lParam, LRESULT&) {
    HMENU popup = reinterpret_cast<HMENU>(wParam);
    if (!HIWORD(lParam) && MenuContains(::GetMenu(m_hWnd), popup)) UpdateMenuCommandUI(popup);
    return false;
}

bool CMopwrightDlg::OnClose(WPARAM, LPARAM, LRESULT&) {
    if (!m_bBusy) return false;   // the dialog's own close ends it
    // During a run a close only asks the run to stop; the window stays.
    g_bAbortRequested = TRUE;
    return true;
}

void CMopwrightDlg::OnCancel() {
    if (m_restoring) {
        g_bAbortRequested = TRUE;
        return;
    }
    CDialogImpl::OnCancel();
}

void CMopwrightDlg::OnCheckDelSuo() {
    bool checked = IsDeleteSuoChecked();
    if (CWinApp* app = AfxGetApp()) app->WriteProfileInt(kSettingsSection, kDelSuoEntry, checked ? 1 : 0);
}

void CMopwrightDlg::OnFileOpenAndClean() {
    // A run owns the queue from start to end: no second run inside it.
    if (m_bBusy) return;
    std::wstring path;
    int result = BrowseForSolutionFolder(GetBrowseStartFolder(), m_hWnd, path);
    if (result == BROWSE_CANCELLED) return;
    if (result != BROWSE_PICKED) {
        ::MessageBeep(MB_ICONHAND);
        return;
    }
    // The picked folder replaces whatever drops had queued, and the pending
    // start of their run goes with them.
    ::KillTimer(m_hWnd, IDT_START_CLEANUP);
    m_arrFolders.assign(1, path);
    ShowLogPanel();
    RunCleanup();
}

void CMopwrightDlg::OnFileExit() {
    ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CMopwrightDlg::OnEditCloseAfterCleanup() {
    m_bCloseAfterCleanup = !m_bCloseAfterCleanup;
    if (CWinApp* app = AfxGetApp())
        app->WriteProfileInt(kSettingsSection, kCloseAfterCleanupEntry, m_bCloseAfterCleanup ? 1 : 0);
}

void CMopwrightDlg::OnEditClearLog() {
    // No question of the window's own while a run or a restore pumps its messages.
    if (m_bBusy) return;
    if (::MessageBoxW(m_hWnd, L"Do you want to clear the log panel?", L"Mopwright",
                      MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES)
        ::SetWindowTextW(m_editLog, L"");
}

void CMopwrightDlg::OnEditRestoreLastCleanup() {
    if (m_bBusy) return;
    const std::wstring folder = FolderToRestore();
    const size_t items = folder.empty() ? 0 : JournaledItemCount(folder);
    if (items == 0) return;
    const std::wstring question =
        FormatText(L"Do you want to restore the last clean-up of \"%ls\"?\r\n%zu removed %ls back where %ls.",
                   folder.c_str(), items, items == 1 ? L"item goes" : L"items go", items == 1 ? L"it was" : L"they were");
    if (::MessageBoxW(m_hWnd, question.c_str(), L"Mopwright", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    ShowLogPanel();
    // A run of its own: busy (no drops, no second run, no dialog of the
    // window's own), the bar counts the items, and a close request (Esc or
    // the window's close) stops it between items.
    RunStarted();
    m_restoring = true;
    Log(L" ");
    Log(L"Restore process has been started. Please wait ...");
    RESTORE_EVENTS events;
    events.folderStarted = [this](const std::wstring&, size_t) { Progress(0, 0, 0); };
    events.progress = [this](UINT done, UINT total) { Progress(done, total, 0); };
    events.keepGoing = [this] { return KeepGoing(); };
    std::vector<FOLDER_RESTORE> results;
    try {
        results = RestoreCleanups({folder}, RestoreMode::Restore, OwnerWindow(), events);
    } catch (...) {
        m_restoring = false;
        LeaveRun();
        throw;
    }
    m_restoring = false;
    for (const std::wstring& line : RestoreReportLines(results.front())) Log(line);
    LeaveRun();
    g_bAbortRequested = FALSE;
    // Drops that came meanwhile wait for no other run.
    if (!m_arrFolders.empty()) ::SetTimer(m_hWnd, IDT_START_CLEANUP, kStartCleanupDelay, nullptr);
}

void CMopwrightDlg::OnHelpCheckForUpdate() {
    OpenWebPage(m_hWnd, kUpdatePageUrl);
}

void CMopwrightDlg::OnHelpAbout() {
    if (m_bBusy) return;
    CAboutDlg about(m_hWnd);
    about.DoModal();
}

void CMopwrightDlg::OnUpdateFileOpenAndClean(CCmdUI& cmdUI) {
    cmdUI.Enable(!m_bBusy);
}

void CMopwrightDlg::OnUpdateEditCloseAfterCleanup(CCmdUI& cmdUI) {
    cmdUI.SetCheck(m_bCloseAfterCleanup ? 1 : 0);
}

void CMopwrightDlg::OnUpdateEditClearLog(CCmdUI& cmdUI) {
    cmdUI.Enable(!m_bBusy && (::GetWindowLongW(m_editLog, GWL_STYLE) & WS_VISIBLE) != 0);
}

void CMopwrightDlg::OnUpdateEditRestoreLastCleanup(CCmdUI& cmdUI) {
    cmdUI.Enable(!m_bBusy && !FolderToRestore().empty());
}

void CMopwrightDlg::OnUpdateHelpAbout(CCmdUI& cmdUI) {
    cmdUI.Enable(!m_bBusy);
}

std::wstring CMopwrightDlg::FolderToRestore() const {
    // Several folders cleaned: the most recent one first; once it is restored, the one before.
    for (auto it = m_arrCleanedFolders.rbegin(); it != m_arrCleanedFolders.rend(); ++it)
        if (HasCleanupJournal(*it)) return *it;
    return L"";
}

// The run's side of the window.

bool CMopwrightDlg::IsDeleteSuoChecked() const {
    return ::SendMessageW(m_checkDelSuo, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool CMopwrightDlg::FolderPlanned(const CLEANUP_PLAN& plan) {
    if (plan.status != FolderStatus::Planned) return true;
    // A folder cleaned again moves to the end: it is the most recent clean-up.
    const std::wstring key = PathKey(plan.folder);
    std::erase_if(m_arrCleanedFolders, [&](const std::wstring& f) { return PathKey(f) == key; });
    m_arrCleanedFolders.push_back(plan.folder);
    return true;
}

void CMopwrightDlg::EnterBusy() {
    m_waitCursor.emplace();
    ::DragAcceptFiles(m_hWnd, FALSE);
    // The window menu's About item is the system's to show: disabled here,
    // not when the menu opens.
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), IDM_ABOUTBOX, MF_BYCOMMAND | MF_GRAYED);
    m_bBusy = TRUE;
}

void CMopwrightDlg::LeaveBusy() {
    ::DragAcceptFiles(m_hWnd, TRUE);
    ::EnableMenuItem(::GetSystemMenu(m_hWnd, FALSE), IDM_ABOUTBOX, MF_BYCOMMAND | MF_ENABLED);
    if (m_waitCursor) m_waitCursor->Restore();
    m_waitCursor.reset();
    m_bBusy = FALSE;
}

void CMopwrightDlg::RunStarted() {
    ::SetForegroundWindow(m_hWnd);
    ::ShowWindow(m_progress, SW_SHOW);
    ::SendMessageW(m_progress, PBM_SETRANGE32, 0, kProgressRange);
    ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
    SetProgressMarquee(true);
    EnterBusy();
    g_bAbortRequested = FALSE;
}

void CMopwrightDlg::LeaveRun() {
    ::ShowWindow(m_progress, SW_HIDE);
    LeaveBusy();
}

void CMopwrightDlg::RunEnded(bool errorsSeen) {
    LeaveRun();
    // A drop that arrived while the run was closing is not lost: it starts
    // the next run, and the window stays for it.
    if (!m_arrFolders.empty()) {
        ::SetTimer(m_hWnd, IDT_START_CLEANUP, kStartCleanupDelay, nullptr);
        return;
    }
    if (!errorsSeen && m_bCloseAfterCleanup) ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

std::wstring CMopwrightDlg::GetLogText() const {
    int length = ::GetWindowTextLengthW(m_editLog);
    if (length <= 0) return L"";
    std::wstring text(static_cast<size_t>(length), L'\0');
    int got = ::GetWindowTextW(m_editLog, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void CMopwrightDlg::Log(const std::wstring& line) {
    // The newest line on top, put in before the old text without reading or
    // rewriting it: the view, which stays at the top, always shows it.
    if (!line.empty()) {
        ::SendMessageW(m_editLog, EM_SETSEL, 0, 0);
        ::SendMessageW(m_editLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>((line + L"\r\n").c_str()));
    }
    // Let the panel repaint: dispatch one message that is already queued, never wait.
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) AfxPumpMessage();
}

void CMopwrightDlg::Progress(UINT done, UINT total, unsigned long long) {
    if (done == 0) {
        // The deletion of a folder begins: the bar turns determinate.
        SetProgressMarquee(false);
        ::SendMessageW(m_progress, PBM_SETPOS, 0, 0);
        return;
    }
    // 64-bit product: a plan of more than 262,143 items must not wrap. Posted,
    // so that it paints when messages are pumped.
    UINT pos = total ? static_cast<UINT>(static_cast<ULONGLONG>(done) * kProgressRange / total) : 0;
    ::PostMessageW(m_progress, PBM_SETPOS, pos, 0);
}

bool CMopwrightDlg::KeepGoing() {
    if (g_bAbortRequested) return false;
    // Dispatch what is already queued (at most ~300 ms), then idle work.
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (g_bAbortRequested) return false;
        if (!AfxPumpMessage()) return false;   // WM_QUIT, posted again for the modal loop
        if (::GetTickCount() - start > kPumpBudgetMs) break;
    }
    for (LONG count = 0; AfxIdle(count); ++count) {
        if (g_bAbortRequested) return false;
        if (::GetTickCount() - start > kPumpBudgetMs) break;
    }
    // A close request handled by the last message dispatched above must stop
    // the work now, not at the next item that happens to find a message queued.
    return !g_bAbortRequested;
}

void CMopwrightDlg::SetProgressMarquee(bool marquee) {
    LONG_PTR style = ::GetWindowLongPtrW(m_progress, GWL_STYLE);
    if (marquee) {
        ::SetWindowLongPtrW(m_progress, GWL_STYLE, style | PBS_MARQUEE);
        ::SendMessageW(m_progress, PBM_SETMARQUEE, TRUE, 0);
    } else {
        ::SendMessageW(m_progress, PBM_SETMARQUEE, FALSE, 0);
        ::SetWindowLongPtrW(m_progress, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    }
}
