#pragma once
// The main window: gathers folders from the command line, drops and the
// folder picker, runs the clean-up over them, and hosts its log and progress.
#include "engine/records/CleanupHost.h"
#include "framework/App.h"
#include "framework/Dialog.h"
#include "support/UniqueHandle.h"
#include "ui/DragMove.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

// One-shot timer that starts the run once quick drops have settled.
inline constexpr UINT_PTR IDT_START_CLEANUP = 256;
inline constexpr UINT kStartCleanupDelay = 200;   // ms

inline constexpr wchar_t kSettingsSection[] = L"Settings";
inline constexpr wchar_t kCloseAfterCleanupEntry[] = L"CloseAfterCleanup";
inline constexpr wchar_t kDelSuoEntry[] = L"Del.suo";

// Set when a close is requested during a run; cleared when a run starts; read
// between the deletion's items, which then stop with ERROR_REQUEST_ABORTED.
extern volatile BOOL g_bAbortRequested;

// Range of the run's progress bar.
inline constexpr int kProgressRange = 16384;

// Longest stretch of message handling and idle work between two items.
inline constexpr DWORD kPumpBudgetMs = 300;

// The big icon for the middle of the empty window, `size` pixels square: the
// window asks for 128 pixels at 96 dpi, scaled with its own DPI.
HICON LoadLargeAppIcon(int size);

class CMopwrightDlg : public CDialogImpl<CMopwrightDlg>, public ICleanupHost {
public:
    explicit CMopwrightDlg(HWND parent = nullptr);
    ~CMopwrightDlg() override;
    static std::span<const MessageEntry<CMopwrightDlg>> GetMessageMap();

    // Cleans every queued folder; returns when the run is over.
    void RunCleanup();

    BOOL PreTranslateMessage(MSG* msg) override;

    // ICleanupHost
    void RunStarted() override;
    void RunEnded(bool errorsSeen) override;
    bool FolderPlanned(const CLEANUP_PLAN& plan) override;
    void Log(const std::wstring& line) override;
    void Progress(UINT done, UINT total, unsigned long long bytes) override;
    bool KeepGoing() override;
    void ItemFailed(const std::wstring&, DWORD) override {}   // the log's result lines say enough
    HWND OwnerWindow() override { return m_hWnd; }

    bool IsBusy() const { return m_bBusy != FALSE; }
    const std::vector<std::wstring>& QueuedFolders() const { return m_arrFolders; }
    std::wstring GetLogText() const;

protected:
    // Esc: during a restore it stops the restore, as the Stop of a run would;
    // otherwise the dialog's own end.
    void OnCancel() override;
    BOOL OnInitDialog() override;
    void PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;
    // The folders given on the command line (everything after the program name).
    virtual std::vector<std::wstring> GetCommandLineFolders() const;

private:
    void OnDropFiles(HDROP drop);
    bool IsDeleteSuoChecked() const;
    void SetProgressMarquee(bool marquee);   // style and animation together
    // Busy (a run or a restore): no drops taken, the wait cursor, and no
    // command that opens a dialog of the window's own.
    void EnterBusy();
    void LeaveBusy();
    // Back to idle after a run, whichever way it ended.
    void LeaveRun();
    void ShowLogPanel();

    bool OnSysCommand(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnQueryDragIcon(WPARAM, LPARAM, LRESULT& result);
    bool OnTimer(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnCtlColorStatic(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnHelpInfo(WPARAM, LPARAM, LRESULT& result);
    bool OnInitMenuPopup(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnClose(WPARAM, LPARAM, LRESULT& result);
    void OnCheckDelSuo();
    void OnFileOpenAndClean();
    void OnFileExit();
    void OnEditCloseAfterCleanup();
    void OnEditClearLog();
    void OnEditRestoreLastCleanup();
    void OnHelpCheckForUpdate();
    void OnHelpAbout();
    void OnUpdateFileOpenAndClean(CCmdUI& cmdUI);
    void OnUpdateEditCloseAfterCleanup(CCmdUI& cmdUI);
    void OnUpdateEditClearLog(CCmdUI& cmdUI);
    void OnUpdateEditRestoreLastCleanup(CCmdUI& cmdUI);
    void OnUpdateHelpAbout(CCmdUI& cmdUI);
    // The folder cleaned last in this window whose clean-up can still be undone; empty when none.
    std::wstring FolderToRestore() const;

    HICON m_hIcon = nullptr;            // shared resource icon, never destroyed
    UniqueIcon m_hLargeIcon;            // drawn at m_nLargeIconSize pixels
    int m_nLargeIconSize = 0;
    DRAG_MOVE_STATE m_dragMove{};
    HWND m_editLog = nullptr;
    std::vector<std::wstring> m_arrFolders;
    std::vector<std::wstring> m_arrCleanedFolders;   // of this window's runs, oldest first, each once
    BOOL m_bCloseAfterCleanup = TRUE;
    HACCEL m_hAccel = nullptr;          // a resource table: freed with the module
    HWND m_checkDelSuo = nullptr;
    HWND m_progress = nullptr;
    BOOL m_bBusy = FALSE;
    bool m_restoring = false;
    std::optional<CWaitCursor> m_waitCursor;
};
