// The real program, started as a process with folders on its command line,
// with its settings in the real registry.
#include "ui/resource.h"
#include "tests/TestUtil.h"
#include "tests/ui_TestSupport.h"

#include <gtest/gtest.h>
#include <string>

using namespace uitest;
using testutil::MakeSmallSolution;
using testutil::TempTree;

namespace {

const std::wstring kSettingsKey = L"Software\\www.mopwright.example\\mopwright\\Settings";

// The program with `folders` on its command line.
class Program {
public:
    explicit Program(const std::vector<std::wstring>& folders) : m_process(CommandLine(folders)) {}
    bool started() const { return m_process.started(); }
    bool WaitExit(DWORD ms) { return m_process.WaitExit(ms); }

    // The program's main window, once it is up (shown after its initialisation);
    // null when the program did not start.
    HWND Window(DWORD timeoutMs = 20000) { return started() ? TopLevel(L"Mopwright", timeoutMs) : nullptr; }
    // Asks the main window to close; true when the program then ends.
    bool Close(HWND window) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        return WaitExit(10000);
    }
    // A visible top-level window of the program with this caption, once it is up.
    HWND TopLevel(const std::wstring& caption, DWORD timeoutMs = 20000) {
        DWORD start = ::GetTickCount();
        m_caption = caption;
        while (::GetTickCount() - start < timeoutMs) {
            m_found = nullptr;
            ::EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(this));
            if (m_found) return m_found;
            if (WaitExit(50)) return nullptr;
        }
        return nullptr;
    }
    // Another process's control: only WM_GETTEXT reaches its text.
    static std::wstring Text(HWND control) {
        auto length = static_cast<size_t>(::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0));
        std::wstring text(length + 1, L'\0');
        text.resize(static_cast<size_t>(::SendMessageW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    std::wstring Log(HWND window) { return Text(::GetDlgItem(window, IDC_EDIT_LOG)); }
    // Waits until the run's summary line stands on top of the log, checks
    // that it is `summary` and that the window then stays open; the log.
    std::wstring WaitForSummaryStayingOpen(HWND window, const std::wstring& summary) {
        std::wstring log = Log(window);
        for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < 20000; log = Log(window)) {
            if (log.rfind(L"Finished clean-up process", 0) == 0) break;
            ::Sleep(50);
        }
        EXPECT_EQ(testutil::SplitLines(log)[0], summary) << testutil::Narrow(log);
        EXPECT_FALSE(WaitExit(1000)) << "the window closed after the run";
        return log;
    }

private:
    static std::wstring CommandLine(const std::vector<std::wstring>& folders) {
        std::wstring cmd = L"\"" + testutil::WindowsPath(testutil::Widen(MW_APP_EXE)) + L"\"";
        for (const auto& f : folders) cmd += L" \"" + f + L"\"";
        return cmd;
    }
    static BOOL CALLBACK FindOwnWindow(HWND hwnd, LPARAM self) {
        auto* program = reinterpret_cast<Program*>(self);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid == program->m_process.id() && ::IsWindowVisible(hwnd) && WindowText(hwnd) == program->m_caption) {
            program->m_found = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    testutil::ChildProcess m_process;
    std::wstring m_caption;
    HWND m_found = nullptr;
};

// A build's object folder to clean, and a .suo that stays unless asked for.
const testutil::Paths kObjAndSuo{L"obj/Debug/App.obj", L"App.suo"};

class RealProgram : public ::testing::Test {
protected:
    void SetUp() override { DeleteUserKey(L"Software\\www.mopwright.example"); }
    void TearDown() override { DeleteUserKey(L"Software\\www.mopwright.example"); }
};

TEST_F(RealProgram, CleansTwoFoldersAndClosesByItselfWithDefaultSettings) {
    TempTree tree(L"e2e");
    MakeSmallSolution(tree, L"One", kObjAndSuo);
    MakeSmallSolution(tree, L"Two Words", kObjAndSuo);   // a path with a blank arrives as one argument
    Program program({tree.path(L"One"), tree.path(L"Two Words")});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitExit(30000)) << "the window did not close after a clean run";
    for (const wchar_t* name : {L"One", L"Two Words"}) {
        EXPECT_FALSE(tree.exists(std::wstring(name) + L"/obj"));
        EXPECT_TRUE(tree.exists(std::wstring(name) + L"/main.cpp"));
        EXPECT_TRUE(tree.exists(std::wstring(name) + L"/App.suo"));   // Del.suo is off by default
    }
    EXPECT_TRUE(testutil::InTrash(tree.path(L"Two Words/obj")));
    // Defaults are read, never written.
    EXPECT_EQ(ReadUserDword(kSettingsKey, L"CloseAfterCleanup"), -1);
    EXPECT_EQ(ReadUserDword(kSettingsKey, L"Del.suo"), -1);
}

TEST_F(RealProgram, StaysOpenWhenAFolderFails) {
    TempTree tree(L"e2e");
    MakeSmallSolution(tree, L"Good", kObjAndSuo);
    tree.dir(L"NoSolution");
    Program program({tree.path(L"Good"), tree.path(L"NoSolution")});
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    std::wstring log = program.WaitForSummaryStayingOpen(window, L"Finished clean-up process with errors:");
    EXPECT_NE(log.find(L"ERROR: The folder contains no recognized Visual Studio solution: \"" +
                       tree.path(L"NoSolution") + L"\""),
              std::wstring::npos);
    EXPECT_FALSE(tree.exists(L"Good/obj"));
    EXPECT_TRUE(program.Close(window));
}

TEST_F(RealProgram, SettingsAreStoredAtOnceAndReadOnTheNextStart) {
    {
        Program program({});
        HWND window = program.Window();
        ASSERT_NE(window, nullptr);
        HWND check = ::GetDlgItem(window, 1003);
        EXPECT_EQ(::SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        ::SendMessageW(window, WM_COMMAND, 32774 /* Close After Successful Cleanup */, 0);
        EXPECT_EQ(ReadUserDword(kSettingsKey, L"CloseAfterCleanup"), 0);
        ::SendMessageW(check, BM_CLICK, 0, 0);
        EXPECT_EQ(ReadUserDword(kSettingsKey, L"Del.suo"), 1);
        ASSERT_TRUE(program.Close(window));
    }
    TempTree tree(L"e2e");
    MakeSmallSolution(tree, L"Sln", kObjAndSuo);
    Program program({tree.path(L"Sln")});
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(window, 1003), BM_GETCHECK, 0, 0), BST_CHECKED);
    // A clean run, but closing afterwards was switched off.
    program.WaitForSummaryStayingOpen(window, L"Finished clean-up process.");
    EXPECT_FALSE(tree.exists(L"Sln/App.suo"));
    EXPECT_TRUE(tree.exists(L"Sln/main.cpp"));
    EXPECT_TRUE(program.Close(window));
}

TEST_F(RealProgram, AboutBoxNamesTheDeleterOfTheWindowsThread) {
    Program program({});
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, ID_HELP_ABOUT, 0);
    HWND about = program.TopLevel(L"About Mopwright");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Program::Text(::GetDlgItem(about, IDC_STATIC_DELETER)), L"Deletes through: " + ApartmentThreadDeleter());
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(program.Close(window));
}

} // namespace
