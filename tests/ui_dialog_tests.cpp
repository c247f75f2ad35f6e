// The main window and the About box, run in-process as real dialogs: real
// drops, the real registry, real folders cleaned into the real trash.
#include "ui/MopwrightApp.h"
#include "ui/resource.h"
#include "engine/running/CleanupRun.h"
#include "engine/undo/Restore.h"
#include "support/ErrorText.h"
#include "support/ComInit.h"
#include "tests/TestUtil.h"
#include "tests/ui_TestSupport.h"
#include "ui/AboutDlg.h"
#include "ui/FolderPicker.h"
#include "ui/MopwrightDlg.h"
#include "ui/WebSite.h"

#include <commctrl.h>
#include <gtest/gtest.h>

using namespace uitest;
using testutil::MakeSmallSolution;
using testutil::SplitLines;
using testutil::TempTree;

namespace {

// The main dialog with its command line replaced, and eyes on each run.
class TestDlg : public CMopwrightDlg {
public:
    explicit TestDlg(std::vector<std::wstring> folders = {}) : args(std::move(folders)) {}

    std::vector<std::wstring> args;
    std::function<void(TestDlg&)> onRunStart;
    int runs = 0;
    std::vector<std::vector<std::wstring>> queuedAtRunStart;
    bool acceptedDropsDuringRun = true;
    bool cancelled = false;

    void RunStarted() override {
        CMopwrightDlg::RunStarted();
        ++runs;
        queuedAtRunStart.push_back(QueuedFolders());
        acceptedDropsDuringRun = (::GetWindowLongPtrW(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
        if (onRunStart) onRunStart(*this);
    }
    // Asked whenever the shell is about to work for the window: a clean-up's
    // folder, a restore.
    std::function<void(TestDlg&)> onOwnerAsked;
    HWND OwnerWindow() override {
        if (onOwnerAsked) onOwnerAsked(*this);
        return CMopwrightDlg::OwnerWindow();
    }
    HWND Item(int id) const { return GetDlgItem(id); }
    // Pumps until `count` runs have started and none is going on.
    bool WaitForRuns(int count = 1) {
        return PumpUntil([&] { return runs == count && !IsBusy(); });
    }

protected:
    std::vector<std::wstring> GetCommandLineFolders() const override { return args; }

public:
    void OnCancel() override {
        cancelled = true;
        CMopwrightDlg::OnCancel();
    }
};

UINT MenuState(HWND dlg, int popupIndex, UINT command) {
    HMENU popup = ::GetSubMenu(::GetMenu(dlg), popupIndex);
    ::SendMessageW(dlg, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(popupIndex, FALSE));
    return ::GetMenuState(popup, command, MF_BYCOMMAND);
}

std::vector<std::pair<HWND, std::wstring>> g_openedPages;
HINSTANCE RecordPage(HWND parent, const wchar_t* url) {
    g_openedPages.emplace_back(parent, url);
    return reinterpret_cast<HINSTANCE>(42);
}

// Runs a main window, sends it `message` with `command`, hands the pop-up that
// opens to `examine` once and closes it with OK.
void ExaminePopup(UINT message, WPARAM command, const std::function<void(HWND popup)>& examine) {
    TestDlg dlg;
    RunWithScript(dlg, [&] {
        HWND main = dlg.GetSafeHwnd();
        WatchPopups(main, [&](HWND popup) {
            WatchPopups(main, {});
            examine(popup);
            ::PostMessageW(popup, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageW(main, message, command, 0);
    });
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
        ::InitCommonControlsEx(&icc);
        theApp.SetRegistryKey(kWebSiteHost);
        DeleteUserKey(AppKey());
        g_openedPages.clear();
        m_previousOpener = SetWebPageOpener(RecordPage);
    }
    void TearDown() override {
        WatchPopups(nullptr, {});
        SetWebPageOpener(m_previousOpener);
        DeleteUserKey(AppKey());
    }
    static std::wstring AppKey() { return L"Software\\" + std::wstring(kWebSiteHost) + L"\\" + theApp.GetAppName(); }
    static std::wstring SettingsKey() { return AppKey() + L"\\Settings"; }
    static void KeepWindowAfterRuns() {
        theApp.WriteProfileInt(kSettingsSection, kCloseAfterCleanupEntry, 0);
    }

    WebPageOpener m_previousOpener = nullptr;
};

TEST_F(MainDialog, StartsEmptyWithDefaultSettings) {
    TestDlg dlg;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        EXPECT_FALSE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        EXPECT_FALSE(::IsWindowVisible(dlg.Item(IDC_PROGRESS)));
        EXPECT_EQ(::SendMessageW(dlg.Item(IDC_CHECK_DEL_SUO), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(::GetFocus(), dlg.Item(IDC_CHECK_DEL_SUO));
        EXPECT_TRUE(MenuState(hwnd, 1, ID_EDIT_CLOSE_AFTER_CLEANUP) & MF_CHECKED);
        EXPECT_TRUE(MenuState(hwnd, 1, ID_EDIT_CLEAR_LOG) & MF_GRAYED);
        EXPECT_FALSE(MenuState(hwnd, 0, ID_FILE_OPEN_AND_CLEAN) & MF_GRAYED);
        // Reading the defaults stores nothing.
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"CloseAfterCleanup"), -1);
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"Del.suo"), -1);
        // The About item sits at the end of the system menu.
        HMENU sysMenu = ::GetSystemMenu(hwnd, FALSE);
        int count = ::GetMenuItemCount(sysMenu);
        EXPECT_EQ(::GetMenuItemID(sysMenu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        // F1 does nothing and says it handled the request.
        HELPINFO help{};
        help.cbSize = sizeof(help);
        EXPECT_EQ(::SendMessageW(hwnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&help)), TRUE);
        PumpFor(300);
        EXPECT_EQ(dlg.runs, 0);
    });
}

TEST_F(MainDialog, SettingsAreStoredTheMomentTheyChange) {
    TestDlg dlg;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_CLOSE_AFTER_CLEANUP, 0);
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"CloseAfterCleanup"), 0);
        EXPECT_FALSE(MenuState(hwnd, 1, ID_EDIT_CLOSE_AFTER_CLEANUP) & MF_CHECKED);
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_CLOSE_AFTER_CLEANUP, 0);
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"CloseAfterCleanup"), 1);
        EXPECT_TRUE(MenuState(hwnd, 1, ID_EDIT_CLOSE_AFTER_CLEANUP) & MF_CHECKED);

        ::SendMessageW(dlg.Item(IDC_CHECK_DEL_SUO), BM_CLICK, 0, 0);
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"Del.suo"), 1);
        ::SendMessageW(dlg.Item(IDC_CHECK_DEL_SUO), BM_CLICK, 0, 0);
        EXPECT_EQ(ReadUserDword(SettingsKey(), L"Del.suo"), 0);
    });
    // Read back by the next window.
    theApp.WriteProfileInt(kSettingsSection, kDelSuoEntry, 7);
    theApp.WriteProfileInt(kSettingsSection, kCloseAfterCleanupEntry, 0);
    TestDlg next;
    RunWithScript(next, [&] {
        EXPECT_EQ(::SendMessageW(next.Item(IDC_CHECK_DEL_SUO), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_FALSE(MenuState(next.GetSafeHwnd(), 1, ID_EDIT_CLOSE_AFTER_CLEANUP) & MF_CHECKED);
    });
}

TEST_F(MainDialog, QuickDropsEndInOneRunThatClosesTheWindow) {
    TempTree tree(L"drops");
    MakeSmallSolution(tree, L"A");
    MakeSmallSolution(tree, L"B");
    TestDlg dlg;
    std::wstring logAfterRun;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree.path(L"A")})), 0);
        EXPECT_TRUE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        EXPECT_FALSE(MenuState(hwnd, 1, ID_EDIT_CLEAR_LOG) & MF_GRAYED);
        ::Sleep(100);   // well within the delay: the second drop restarts it
        ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree.path(L"B")})), 0);
        EXPECT_TRUE(PumpUntil([&] { return dlg.cancelled; }));
        logAfterRun = dlg.GetLogText();
    });
    ASSERT_EQ(dlg.runs, 1);
    EXPECT_EQ(dlg.queuedAtRunStart[0], (std::vector<std::wstring>{tree.path(L"A"), tree.path(L"B")}));
    EXPECT_FALSE(dlg.acceptedDropsDuringRun);
    // Newest line on top: the panel reads upwards in time order.
    EXPECT_EQ(SplitLines(logAfterRun), (std::vector<std::wstring>{
                                      L"Finished clean-up process.",
                                      L"Success! Cleaned up folder: \"" + tree.path(L"B") + L"\"",
                                      tree.path(L"B"),
                                      L"Success! Cleaned up folder: \"" + tree.path(L"A") + L"\"",
                                      tree.path(L"A"),
                                      L"Clean-up process has been started. Please wait ...",
                                      L" ",
                                      L"",
                                  }));
    EXPECT_EQ(tree.present({L"A/Debug", L"B/Debug"}), testutil::Paths{});
    EXPECT_TRUE(tree.exists(L"A/main.cpp"));
    EXPECT_TRUE(testutil::InTrash(tree.path(L"B/Debug")));
}

TEST_F(MainDialog, CommandLineFoldersRunOnceTheWindowIsUp) {
    TempTree tree(L"args");
    MakeSmallSolution(tree, L"A");
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"A"), tree.path(L"missing")});
    RunWithScript(dlg, [&] {
        EXPECT_TRUE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        EXPECT_TRUE(dlg.WaitForRuns());
        PumpFor(300);
        EXPECT_FALSE(dlg.cancelled);   // an error keeps the window open
        EXPECT_FALSE(::IsWindowVisible(dlg.Item(IDC_PROGRESS)));
        std::vector<std::wstring> lines = SplitLines(dlg.GetLogText());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], L"Finished clean-up process with errors:");
        EXPECT_EQ(lines[1], L"ERROR: Cannot access folder: \"" + tree.path(L"missing") + L"\"");
    });
    EXPECT_EQ(dlg.runs, 1);
    EXPECT_FALSE(tree.exists(L"A/Debug"));
}

TEST_F(MainDialog, ARunRefusesTheOpenCommandAndAStopLeavesLateDropsUntouched) {
    TempTree tree(L"busy");
    MakeSmallSolution(tree, L"A");
    MakeSmallSolution(tree, L"Late");
    TestDlg dlg;
    bool browserShown = false;
    UINT openStateDuringRun = 0;
    std::wstring log;
    dlg.onRunStart = [&](TestDlg& d) {
        HWND hwnd = d.GetSafeHwnd();
        openStateDuringRun = MenuState(hwnd, 0, ID_FILE_OPEN_AND_CLEAN);
        // Reach the window while the run pumps its messages.
        ::PostMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree.path(L"Late")})), 0);
        ::PostMessageW(hwnd, WM_COMMAND, ID_FILE_OPEN_AND_CLEAN, 0);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    };
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        WatchPopups(hwnd, [&](HWND popup) {
            browserShown = true;
            ::PostMessageW(popup, WM_COMMAND, IDCANCEL, 0);
        });
        ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree.path(L"A")})), 0);
        EXPECT_TRUE(dlg.WaitForRuns());
        PumpFor(500);
        // The close asked the run to stop; the window stays.
        EXPECT_TRUE(g_bAbortRequested);
        EXPECT_FALSE(dlg.cancelled);
        EXPECT_TRUE(::IsWindowVisible(hwnd));
        log = dlg.GetLogText();
        EXPECT_EQ(SplitLines(log)[0], L"Finished clean-up process with errors:");
        EXPECT_TRUE(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        EXPECT_FALSE(MenuState(hwnd, 0, ID_FILE_OPEN_AND_CLEAN) & MF_GRAYED);
    });
    EXPECT_TRUE(openStateDuringRun & MF_GRAYED);
    EXPECT_FALSE(browserShown);
    EXPECT_EQ(dlg.runs, 1);
    // The late drop joined the run, which had been asked to stop: logged, untouched.
    EXPECT_NE(log.find(L"ERROR: (1235) Failed to clean up folder: \"" + tree.path(L"Late") +
                       L"\". No changes were applied."),
              std::wstring::npos) << testutil::Narrow(log);
    EXPECT_TRUE(tree.exists(L"Late/Debug/main.obj"));
    g_bAbortRequested = FALSE;
}

TEST_F(MainDialog, ADropThatArrivesDuringARunIsCleanedInThatRun) {
    TempTree tree(L"latedrop");
    testutil::MakeSmallSolution(tree, L"A");
    testutil::MakeSmallSolution(tree, L"Late");
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"A")});
    dlg.onRunStart = [&](TestDlg& d) {
        ::PostMessageW(d.GetSafeHwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({tree.path(L"Late")})), 0);
    };
    std::wstring log;
    RunWithScript(dlg, [&] {
        EXPECT_TRUE(dlg.WaitForRuns());
        PumpFor(400);
        log = dlg.GetLogText();
    });
    EXPECT_EQ(dlg.runs, 1) << "no second run, and none nested";
    EXPECT_EQ(SplitLines(log)[0], L"Finished clean-up process.");
    EXPECT_NE(log.find(L"Success! Cleaned up folder: \"" + tree.path(L"Late") + L"\""), std::wstring::npos);
    EXPECT_FALSE(tree.exists(L"Late/Debug"));
}

TEST_F(MainDialog, ClearLogAsksFirst) {
    TempTree tree(L"clear");
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"nothing-here")});
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        ASSERT_TRUE(dlg.WaitForRuns());
        std::wstring before = dlg.GetLogText();
        std::wstring question;
        int answer = IDNO;
        WatchPopups(hwnd, [&](HWND box) {
            question = WindowText(::GetDlgItem(box, 0xFFFF));
            ::PostMessageW(box, WM_COMMAND, answer, 0);
        });
        for (int button : {IDNO, IDCANCEL}) {
            answer = button;
            ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_CLEAR_LOG, 0);
            EXPECT_EQ(dlg.GetLogText(), before);
        }
        EXPECT_EQ(question, L"Do you want to clear the log panel?");
        answer = IDYES;
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_CLEAR_LOG, 0);
        EXPECT_EQ(dlg.GetLogText(), L"");
        EXPECT_TRUE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        WatchPopups(nullptr, {});
    });
}

TEST_F(MainDialog, RestoreLastCleanupUndoesTheFolderItCleaned) {
    TempTree tree(L"undo");
    MakeSmallSolution(tree, L"A");
    const std::string before = testutil::SnapshotTree(tree.root(), false);
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"A")});
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        EXPECT_TRUE(MenuState(hwnd, 1, ID_EDIT_RESTORE_LAST_CLEANUP) & MF_GRAYED);
        ASSERT_TRUE(dlg.WaitForRuns());
        ASSERT_FALSE(tree.exists(L"A/Debug"));
        EXPECT_FALSE(MenuState(hwnd, 1, ID_EDIT_RESTORE_LAST_CLEANUP) & MF_GRAYED);
        std::wstring question;
        WatchPopups(hwnd, [&](HWND box) {
            question = WindowText(::GetDlgItem(box, 0xFFFF));
            ::PostMessageW(box, WM_COMMAND, IDYES, 0);
        });
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 0);
        WatchPopups(nullptr, {});
        EXPECT_EQ(question, L"Do you want to restore the last clean-up of \"" + tree.path(L"A") +
                                L"\"?\r\n1 removed item goes back where it was.");
        EXPECT_EQ(SplitLines(dlg.GetLogText())[0], L"Restored folder: \"" + tree.path(L"A") + L"\"");
        EXPECT_TRUE(MenuState(hwnd, 1, ID_EDIT_RESTORE_LAST_CLEANUP) & MF_GRAYED);
    });
    EXPECT_EQ(testutil::SnapshotTree(tree.root(), false), before);
}

// A restore is a run of its own: the bar counts its items, a close request
// (Esc) stops it between items without closing the window, the log says what
// came back, and the next restore brings back the rest.
TEST_F(MainDialog, ARestoreShowsProgressAndStopsOnRequest) {
    TempTree tree(L"undorun");
    std::vector<std::wstring> files;
    // More than the bin's own restore command takes in its first request.
    constexpr size_t kFiles = 300;
    for (size_t i = 0; i < kFiles; ++i) files.push_back(L"f" + std::to_wstring(i) + L".log");
    MakeSmallSolution(tree, L"A", files);
    const std::string before = testutil::SnapshotTree(tree.root(), false);
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"A")});
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        ASSERT_TRUE(dlg.WaitForRuns());
        ASSERT_EQ(JournaledItemCount(tree.path(L"A")), kFiles);
        HWND bar = dlg.Item(IDC_PROGRESS);
        // Asked to stop as soon as the bar shows the restore going: by Esc,
        // as the window's close is asked for.
        bool sawBar = false;
        WatchPopups(hwnd, [&](HWND box) { ::PostMessageW(box, WM_COMMAND, IDYES, 0); });
        static std::function<void()> onTick;
        onTick = [&] {
            if (!dlg.IsBusy() || !::IsWindowVisible(bar) || ::SendMessageW(bar, PBM_GETPOS, 0, 0) == 0) return;
            sawBar = true;
            ::PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        };
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { onTick(); });
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 0);
        ::KillTimer(nullptr, timer);
        WatchPopups(nullptr, {});
        EXPECT_TRUE(sawBar);
        EXPECT_TRUE(::IsWindow(hwnd));   // stopped, not closed
        const testutil::Paths lines = SplitLines(dlg.GetLogText());
        EXPECT_EQ(lines[0], L"ERROR: (1235) Failed to restore folder: \"" + tree.path(L"A") + L"\". " + GetErrorText(1235))
            << testutil::Narrow(dlg.GetLogText());
        EXPECT_TRUE(lines[1].starts_with(L"Restored ") && lines[1].find(L"stopped") != std::wstring::npos);
        const size_t left = JournaledItemCount(tree.path(L"A"));
        EXPECT_GT(left, 0u);
        EXPECT_LT(left, kFiles);

        // The next restore finishes it.
        WatchPopups(hwnd, [&](HWND box) { ::PostMessageW(box, WM_COMMAND, IDYES, 0); });
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 0);
        WatchPopups(nullptr, {});
        EXPECT_EQ(SplitLines(dlg.GetLogText())[0], L"Restored folder: \"" + tree.path(L"A") + L"\"");
    });
    EXPECT_EQ(testutil::SnapshotTree(tree.root(), false), before);
}

// The commands that open a dialog of the window's own, and where each sits.
struct OWN_DIALOG_COMMAND {
    const char* name;
    UINT message;   // WM_COMMAND, or WM_SYSCOMMAND for the window menu's item
    UINT command;
    int popup;      // in the menu bar; -1: the window menu
};
const OWN_DIALOG_COMMAND kOwnDialogCommands[] = {
    {"File > Open Solution Folder & Clean It", WM_COMMAND, ID_FILE_OPEN_AND_CLEAN, 0},
    {"Edit > Clear Log...", WM_COMMAND, ID_EDIT_CLEAR_LOG, 1},
    {"Edit > Restore Last Clean-up...", WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 1},
    {"Help > About...", WM_COMMAND, ID_HELP_ABOUT, 2},
    {"window menu > About Mopwright...", WM_SYSCOMMAND, IDM_ABOUTBOX, -1},
};

UINT CommandState(HWND dlg, const OWN_DIALOG_COMMAND& c) {
    if (c.popup < 0) return ::GetMenuState(::GetSystemMenu(dlg, FALSE), c.command, MF_BYCOMMAND);
    return MenuState(dlg, c.popup, c.command);
}

// Every dialog that opens is answered No and closed, except the question
// whether to restore, which `restoreAnswer` answers while the window is idle.
void AnswerPopups(TestDlg& dlg, const int& restoreAnswer) {
    WatchPopups(dlg.GetSafeHwnd(), [&dlg, &restoreAnswer](HWND popup) {
        const bool restoreQuestion =
            WindowText(::GetDlgItem(popup, 0xFFFF)).find(L"restore the last clean-up") != std::wstring::npos;
        if (restoreQuestion && !dlg.IsBusy()) {
            ::PostMessageW(popup, WM_COMMAND, restoreAnswer, 0);
            return;
        }
        ::PostMessageW(popup, WM_COMMAND, IDNO, 0);
        ::PostMessageW(popup, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST_F(MainDialog, NoDialogOfTheWindowsOwnOpensWhileACleanupOrARestoreIsBusy) {
    TempTree tree(L"busydialogs");
    MakeSmallSolution(tree, L"A", {L"Debug/main.obj", L"obj/App.obj", L"x64/App.ilk"});
    const std::string before = testutil::SnapshotTree(tree.root(), false);
    KeepWindowAfterRuns();
    TestDlg dlg({tree.path(L"A")});
    DialogCreations dialogs;
    int restoreAnswer = IDNO;
    int busyChecks = 0;
    // While busy: each command is disabled, and sent anyway it opens nothing.
    auto tryEachWhileBusy = [&](TestDlg& d, const char* phase) {
        ++busyChecks;
        HWND hwnd = d.GetSafeHwnd();
        for (const OWN_DIALOG_COMMAND& c : kOwnDialogCommands) {
            SCOPED_TRACE(std::string(phase) + ", " + c.name);
            ASSERT_TRUE(d.IsBusy());
            EXPECT_TRUE(CommandState(hwnd, c) & MF_GRAYED);
            const size_t opened = dialogs.captions().size();
            ::SendMessageW(hwnd, c.message, c.command, 0);
            EXPECT_EQ(dialogs.captions().size(), opened) << testutil::Narrow(dialogs.captions().back());
        }
    };
    dlg.onRunStart = [&](TestDlg& d) { tryEachWhileBusy(d, "clean-up"); };
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        AnswerPopups(dlg, restoreAnswer);
        ASSERT_TRUE(dlg.WaitForRuns());
        ASSERT_FALSE(tree.exists(L"A/Debug"));
        // Idle again: each is enabled and opens its dialog (answered No).
        for (const OWN_DIALOG_COMMAND& c : kOwnDialogCommands) {
            SCOPED_TRACE(std::string("after the clean-up, ") + c.name);
            EXPECT_FALSE(CommandState(hwnd, c) & MF_GRAYED);
            const size_t opened = dialogs.captions().size();
            ::SendMessageW(hwnd, c.message, c.command, 0);
            EXPECT_EQ(dialogs.captions().size(), opened + 1);
        }
        ASSERT_FALSE(tree.exists(L"A/Debug"));   // the restore was answered No

        // A restore, answered Yes, is busy from the moment the shell is asked;
        // a close asked for meanwhile (the restore's pump dispatches it) stops
        // it, as it stops a run, and the window stays.
        dlg.onOwnerAsked = [&](TestDlg& d) {
            tryEachWhileBusy(d, "restore");
            ::PostMessageW(d.GetSafeHwnd(), WM_CLOSE, 0, 0);
        };
        restoreAnswer = IDYES;
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 0);
        dlg.onOwnerAsked = nullptr;
        EXPECT_FALSE(dlg.IsBusy());
        EXPECT_FALSE(dlg.cancelled);
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(SplitLines(dlg.GetLogText())[0], L"ERROR: (1235) Failed to restore folder: \"" + tree.path(L"A") + L"\". " +
                                                       GetErrorText(ERROR_REQUEST_ABORTED));
        // The next one brings back what is left.
        ::SendMessageW(hwnd, WM_COMMAND, ID_EDIT_RESTORE_LAST_CLEANUP, 0);
        EXPECT_EQ(SplitLines(dlg.GetLogText())[0], L"Restored folder: \"" + tree.path(L"A") + L"\"");
        for (const OWN_DIALOG_COMMAND& c : kOwnDialogCommands) {
            SCOPED_TRACE(std::string("after the restore, ") + c.name);
            // Nothing is left to restore; everything else is back.
            const bool restore = c.command == ID_EDIT_RESTORE_LAST_CLEANUP;
            EXPECT_EQ((CommandState(hwnd, c) & MF_GRAYED) != 0, restore);
        }
        WatchPopups(nullptr, {});
    });
    // The clean-up's start, each restore's start (a run of its own), and the
    // first restore's asking the shell.
    EXPECT_EQ(busyChecks, 4);
    EXPECT_FALSE(g_bAbortRequested);
    EXPECT_EQ(testutil::SnapshotTree(tree.root(), false), before);
}

// A run whose start comes while a dialog of the window's own is open waits
// for the dialog to close.
TEST_F(MainDialog, ARunDueWhileADialogOfTheWindowsOwnIsOpenWaitsForIt) {
    const struct {
        const char* name;
        UINT message;
        UINT command;
    } cases[] = {
        {"Help > About...", WM_COMMAND, ID_HELP_ABOUT},
        {"window menu > About Mopwright...", WM_SYSCOMMAND, IDM_ABOUTBOX},
        {"Edit > Clear Log...", WM_COMMAND, ID_EDIT_CLEAR_LOG},
    };
    KeepWindowAfterRuns();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree(L"waitdialog");
        MakeSmallSolution(tree, L"A");
        TestDlg dlg({tree.path(L"A")});   // due 200 ms after the window is up
        int runsWhileOpen = -1;
        RunWithScript(dlg, [&] {
            HWND hwnd = dlg.GetSafeHwnd();
            DWORD shownAt = 0;
            WatchPopups(hwnd, [&](HWND popup) {
                if (!shownAt) shownAt = ::GetTickCount();
                if (::GetTickCount() - shownAt < 800) return;
                runsWhileOpen = dlg.runs;
                WatchPopups(hwnd, {});
                ::PostMessageW(popup, WM_COMMAND, IDCANCEL, 0);
            });
            ::SendMessageW(hwnd, c.message, c.command, 0);
            EXPECT_TRUE(dlg.WaitForRuns());
        });
        EXPECT_EQ(runsWhileOpen, 0);
        EXPECT_EQ(dlg.runs, 1);
        EXPECT_FALSE(tree.exists(L"A/Debug"));
    }
}

TEST_F(MainDialog, CtrlOOpensTheFolderBrowserThroughThePump) {
    TestDlg dlg;
    std::wstring browserPrompt;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        WatchPopups(hwnd, [&](HWND browser) {
            browserPrompt = L"shown";
            ::PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
        });
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        ::PostMessageW(dlg.Item(IDC_CHECK_DEL_SUO), WM_KEYDOWN, 'O', 0x00180001);
        PumpUntil([&] { return !browserPrompt.empty(); }, 10000);
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
        WatchPopups(nullptr, {});
        // Cancelling the browser changes nothing.
        EXPECT_FALSE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        EXPECT_EQ(dlg.runs, 0);
    });
    EXPECT_EQ(browserPrompt, L"shown");
}

TEST_F(MainDialog, OpenCommandCleansThePickedFolderAtOnce) {
    TempTree tree(L"picked");
    MakeSmallSolution(tree, L"Current");
    KeepWindowAfterRuns();
    // The browser starts at the current directory, given with a trailing separator.
    wchar_t previous[MAX_PATH] = L"";
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW((tree.path(L"Current") + L"\\").c_str()));
    EXPECT_EQ(GetBrowseStartFolder(), tree.path(L"Current"));
    TestDlg dlg;
    bool browserShown = false;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        DWORD shownAt = 0, selectedAt = 0;
        const std::wstring start = GetBrowseStartFolder();   // read while the browser may post for it
        WatchPopups(hwnd, [&](HWND browser) {
            if (!browserShown) shownAt = selectedAt = ::GetTickCount();
            browserShown = true;
            // Accept once the browser has selected the start folder.
            HWND tree = nullptr;
            ::EnumChildWindows(browser, FindTreeViewProc, reinterpret_cast<LPARAM>(&tree));
            wchar_t text[MAX_PATH] = L"";
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem = tree ? reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) : nullptr;
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            if (item.hItem) ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            // Wine's browser now and then stops expanding on the way to the
            // start folder it was given (more often on a busy machine); it is
            // given the same folder again every two seconds, as the program
            // gave it. One that has not reached it in time is cancelled: the
            // test never cleans whatever else is selected.
            if (::lstrcmpW(text, L"Current") == 0) {
                WatchPopups(hwnd, {});
                ::PostMessageW(browser, WM_COMMAND, IDOK, 0);
            } else if (::GetTickCount() - shownAt > 30000) {
                WatchPopups(hwnd, {});
                ::PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
            } else if (::GetTickCount() - selectedAt > 2000) {
                selectedAt = ::GetTickCount();
                ::PostMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start.c_str()));
            }
        });
        ::SendMessageW(hwnd, WM_COMMAND, ID_FILE_OPEN_AND_CLEAN, 0);
        EXPECT_TRUE(::IsWindowVisible(dlg.Item(IDC_EDIT_LOG)));
        EXPECT_EQ(SplitLines(dlg.GetLogText())[0], L"Finished clean-up process.");
    });
    ::SetCurrentDirectoryW(previous);
    EXPECT_TRUE(browserShown);
    ASSERT_EQ(dlg.runs, 1);
    EXPECT_EQ(dlg.queuedAtRunStart[0], std::vector<std::wstring>{tree.path(L"Current")});
    EXPECT_FALSE(tree.exists(L"Current/Debug"));
}

TEST_F(MainDialog, UpdateCommandOpensTheUpdatePage) {
    TestDlg dlg;
    HWND main = nullptr;
    RunWithScript(dlg, [&] {
        main = dlg.GetSafeHwnd();
        ::SendMessageW(main, WM_COMMAND, ID_HELP_CHECK_FOR_UPDATE, 0);
        EXPECT_EQ(::GetLastError(), 42u);   // the shell's answer is kept as the last error
    });
    ASSERT_EQ(g_openedPages.size(), 1u);
    EXPECT_EQ(g_openedPages[0].first, main);
    EXPECT_EQ(g_openedPages[0].second, L"https://www.mopwright.example/utilities/#Mopwright");
}

TEST_F(MainDialog, AboutBoxShowsVersionYearDeleterAndLink) {
    // The window's thread is apartment-threaded, as the program makes it.
    ScopedComInit com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    std::wstring caption, nameLine, legalLine, deleterLine, url;
    bool focusOnOk = false, stayedOpenAfterClick = false;
    LRESULT helpAnswer = 0;
    ExaminePopup(WM_COMMAND, ID_HELP_ABOUT, [&](HWND about) {
        caption = WindowText(about);
        nameLine = WindowText(::GetDlgItem(about, IDC_STATIC_NAME_VERSION));
        legalLine = WindowText(::GetDlgItem(about, IDC_STATIC_LEGAL));
        deleterLine = WindowText(::GetDlgItem(about, IDC_STATIC_DELETER));
        focusOnOk = ::GetFocus() == ::GetDlgItem(about, IDOK);
        HWND link = ::GetDlgItem(about, IDC_LINK_WEBSITE);
        LITEM item{};
        item.mask = LIF_ITEMINDEX | LIF_URL;
        ::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
        url = item.szUrl;
        // A real click on the link's text.
        ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 6));
        ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(8, 6));
        stayedOpenAfterClick = ::IsWindowVisible(about) != FALSE;
        HELPINFO help{};
        help.cbSize = sizeof(help);
        helpAnswer = ::SendMessageW(about, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    });
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    EXPECT_EQ(caption, L"About Mopwright");
    EXPECT_EQ(nameLine, L"Mopwright, Version 1.7.0.0");
    EXPECT_EQ(legalLine, L"Copyright (C) 2024-" + std::to_wstring(now.wYear) + L" Mopwright developers");
    EXPECT_EQ(deleterLine, L"Deletes through: " + ApartmentThreadDeleter());
    EXPECT_EQ(url, L"https://www.mopwright.example/");
    EXPECT_TRUE(focusOnOk);
    EXPECT_TRUE(stayedOpenAfterClick);
    EXPECT_EQ(helpAnswer, TRUE);
    ASSERT_EQ(g_openedPages.size(), 1u);
    EXPECT_EQ(g_openedPages[0].second, L"https://www.mopwright.example/");
}

TEST_F(MainDialog, SystemMenuItemOpensTheAboutBox) {
    std::wstring caption;
    ExaminePopup(WM_SYSCOMMAND, IDM_ABOUTBOX, [&](HWND about) { caption = WindowText(about); });
    EXPECT_EQ(caption, L"About Mopwright");
}

TEST_F(MainDialog, DraggingTheBackgroundOrTheEmptyMenuBarMovesTheWindow) {
    TestDlg dlg;
    RECT before{}, after{};
    bool foreground = false, capturedDuringDrag = false, releasedAfter = false, sizeAllCursor = false;
    DRAG_MOVE_STATE onTitle{}, rightOfTitles{};
    bool endedOnDeactivation = false;
    RunWithScript(dlg, [&] {
        HWND hwnd = dlg.GetSafeHwnd();
        ::SetForegroundWindow(hwnd);
        foreground = ::GetForegroundWindow() == hwnd;
        ::GetWindowRect(hwnd, &before);
        ::SetCursorPos(before.left + 60, before.top + 70);
        ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 30));
        capturedDuringDrag = ::GetCapture() == hwnd;
        sizeAllCursor = ::GetCursor() == ::LoadCursorW(nullptr, IDC_SIZEALL);
        ::SetCursorPos(before.left + 90, before.top + 95);
        ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 55));
        ::GetWindowRect(hwnd, &after);
        ::SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(80, 55));
        releasedAfter = ::GetCapture() != hwnd;

        // The menu bar: a press on a title opens the menu as usual, a press
        // right of the last title starts a drag.
        HMENU bar = ::GetMenu(hwnd);
        RECT first{}, last{};
        ::GetMenuItemRect(hwnd, bar, 0, &first);
        ::GetMenuItemRect(hwnd, bar, 2, &last);
        HandleDragMove(WM_NCLBUTTONDOWN, HTMENU, MAKELPARAM(first.left + 3, first.top + 3), hwnd, onTitle);
        HandleDragMove(WM_NCLBUTTONDOWN, HTMENU, MAKELPARAM(last.right + 30, last.top + 3), hwnd, rightOfTitles);
        bool started = rightOfTitles.bDragging != FALSE;
        HandleDragMove(WM_ACTIVATE, WA_INACTIVE, 0, hwnd, rightOfTitles);
        endedOnDeactivation = started && !rightOfTitles.bDragging && ::GetCapture() != hwnd;
    });
    ASSERT_TRUE(foreground);
    EXPECT_TRUE(capturedDuringDrag);
    EXPECT_TRUE(sizeAllCursor);
    EXPECT_EQ(after.left - before.left, 30);
    EXPECT_EQ(after.top - before.top, 25);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_TRUE(releasedAfter);
    EXPECT_FALSE(onTitle.bDragging);
    EXPECT_TRUE(endedOnDeactivation);
}

// A message-only window that counts the WM_APP messages dispatched to it.
class CountingWindow {
public:
    CountingWindow() {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &CountingWindow::Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"MopwrightCountingWindow";
            return ::RegisterClassW(&wc);
        }();
        (void)atom;
        m_hwnd = ::CreateWindowExW(0, L"MopwrightCountingWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
        s_count = 0;
    }
    ~CountingWindow() { ::DestroyWindow(m_hwnd); }
    void Post(int times = 1) const {
        for (int i = 0; i < times; ++i) ::PostMessageW(m_hwnd, WM_APP, 0, 0);
    }
    static int count() { return s_count; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_APP) ++s_count;
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    static inline int s_count = 0;
    HWND m_hwnd = nullptr;
};

TEST_F(MainDialog, LogLinesGoOnTopAndKeepGoingDispatchesWhatIsQueued) {
    TestDlg dlg;
    RunWithScript(dlg, [&] {
        CountingWindow window;
        ::SetWindowTextW(dlg.Item(IDC_EDIT_LOG), L"old");
        // A log line dispatches one queued message; an empty one changes nothing else.
        window.Post(2);
        dlg.Log(L"new");
        EXPECT_EQ(dlg.GetLogText(), L"new\r\nold");
        EXPECT_EQ(window.count(), 1);
        dlg.Log(L"");
        EXPECT_EQ(dlg.GetLogText(), L"new\r\nold");
        EXPECT_EQ(window.count(), 2);
        // The panel has no length limit of its own (an edit control's is 30,000 characters).
        const std::wstring line(58, L'x');
        for (int i = 0; i < 600; ++i) dlg.Log(line);
        EXPECT_EQ(dlg.GetLogText().size(), 600 * (line.size() + 2) + 8);
        ::SetWindowTextW(dlg.Item(IDC_EDIT_LOG), L"new\r\nold");

        // Between items everything queued is dispatched, without waiting.
        window.Post(4);
        const DWORD start = ::GetTickCount();
        EXPECT_TRUE(dlg.KeepGoing());
        EXPECT_EQ(window.count(), 6);
        EXPECT_LT(::GetTickCount() - start, 250u);

        // A stop request leaves the queue alone; the end of the application
        // stops the work and stays queued for the modal loop.
        window.Post();
        g_bAbortRequested = TRUE;
        EXPECT_FALSE(dlg.KeepGoing());
        EXPECT_EQ(window.count(), 6);
        g_bAbortRequested = FALSE;
        EXPECT_TRUE(dlg.KeepGoing());
        EXPECT_EQ(window.count(), 7);
        ::PostQuitMessage(0);
        EXPECT_FALSE(dlg.KeepGoing());
        MSG msg;
        EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    });
}

TEST(LinkAndMenus, LongAddressesAreRefusedAndMenusAreSearchedDeeply) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
    HWND link = ::CreateWindowExW(0, L"SysLink", L"<a>site</a>", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(SetLinkUrl(link, std::wstring(2084, L'a')), 0);
    EXPECT_NE(SetLinkUrl(link, L"https://example.org/"), 0);
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    ::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(item.szUrl, L"https://example.org/");
    ::DestroyWindow(link);

    HMENU bar = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    HMENU other = ::CreatePopupMenu();
    HMENU nested = ::CreatePopupMenu();
    ::AppendMenuW(::GetSubMenu(bar, 2), MF_POPUP, reinterpret_cast<UINT_PTR>(nested), L"More");
    EXPECT_TRUE(MenuContains(bar, bar));
    EXPECT_TRUE(MenuContains(bar, ::GetSubMenu(bar, 1)));
    EXPECT_TRUE(MenuContains(bar, nested));
    EXPECT_FALSE(MenuContains(bar, other));
    EXPECT_FALSE(MenuContains(nullptr, bar));
    EXPECT_FALSE(MenuContains(bar, nullptr));
    ::DestroyMenu(other);
    ::DestroyMenu(bar);
}

} // namespace
