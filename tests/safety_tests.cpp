// What must hold when the Recycle Bin, the paths or the user work against the
// program: nothing is ever destroyed, failures are named, no odd path blocks a
// folder, no folder no one means is cleaned. These tests break the shared
// trash for a while, so CTest runs this program alone.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "ui/MopwrightApp.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"
#include "tests/TestUtil.h"
#include "tests/ui_TestSupport.h"
#include "ui/MopwrightDlg.h"
#include "ui/WebSite.h"

using testutil::PROCESS_RESULT;
using testutil::TempTree;

namespace {

using testutil::Quoted;
using testutil::RunCli;
// A path as a JSON string holds it: every backslash doubled.
std::wstring JsonPath(std::wstring path)
{
    for (size_t i = 0; (i = path.find(L'\\', i)) != std::wstring::npos; i += 2) path.insert(i, 1, L'\\');
    return path;
}
bool Contains(const std::string& text, const std::wstring& part) { return text.find(testutil::Narrow(part)) != std::string::npos; }

// The trash made unable to take items for as long as the object lives.
class BrokenTrash {
public:
    enum Kind { FilesImmutable, InfoIsAFile };
    explicit BrokenTrash(Kind kind) : m_kind(kind), m_files(testutil::TrashFilesFolder())
    {
        m_info = m_files.substr(0, m_files.size() - 5) + L"info";
        if (kind == FilesImmutable) {
            ok = testutil::RunLinux(L"/usr/bin/chattr +i \"" + testutil::LinuxPath(m_files) + L"\"",
                                    [&] { return !CanWriteInto(m_files); });
        } else {
            ok = ::MoveFileW(m_info.c_str(), (m_info + L".saved").c_str()) &&
                 UniqueFile(::CreateFileW(m_info.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)).valid();
        }
    }
    ~BrokenTrash()
    {
        if (m_kind == FilesImmutable) {
            testutil::RunLinux(L"/usr/bin/chattr -i \"" + testutil::LinuxPath(m_files) + L"\"",
                               [&] { return CanWriteInto(m_files); });
        } else {
            ::DeleteFileW(m_info.c_str());
            ::MoveFileW((m_info + L".saved").c_str(), m_info.c_str());
        }
    }
    bool ok = false;

private:
    static bool CanWriteInto(const std::wstring& folder)
    {
        // A new name each time: a probe left behind by a race with chattr
        // could still be opened inside an immutable folder.
        static unsigned counter = 0;
        const std::wstring probe = folder + L"\\mopwright-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++counter);
        bool made = UniqueFile(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)).valid();
        ::DeleteFileW(probe.c_str());
        return made;
    }
    Kind m_kind;
    std::wstring m_files, m_info;
};

// A solution whose clean-up needs every kind of shell delete: a file, folders
// whole, and a folder taken apart around a protected file.
void MakeSolution(const TempTree& t)
{
    t.file(L"App.sln", "solution");
    t.file(L"App/main.cpp", "int main() {}");
    t.file(L"App/build.log", "log");
    t.file(L"App/Debug/main.obj", "obj");
    t.file(L"App/obj/x/b.obj", "obj");
    t.file(L"App/obj/x/keep.txt", "keep");
    t.file(L"App/Mopwright (do not delete).txt", "obj\\x\\keep.txt\r\n");
}

// The main window in-process, with its command line replaced.
class WindowOnFolders : public CMopwrightDlg {
public:
    explicit WindowOnFolders(std::vector<std::wstring> folders) : m_folders(std::move(folders)) {}
    std::wstring log;
protected:
    std::vector<std::wstring> GetCommandLineFolders() const override { return m_folders; }
private:
    std::vector<std::wstring> m_folders;
};

std::wstring RunWindow(const std::wstring& folder)
{
    theApp.SetRegistryKey(kWebSiteHost);
    theApp.WriteProfileInt(kSettingsSection, kCloseAfterCleanupEntry, 0);
    WindowOnFolders dlg({folder});
    uitest::RunWithScript(dlg, [&] {
        uitest::PumpUntil([&] { return dlg.GetLogText().rfind(L"Finished clean-up process", 0) == 0; });
        dlg.log = dlg.GetLogText();
    });
    uitest::DeleteUserKey(L"Software\\" + std::wstring(kWebSiteHost));
    return dlg.log;
}

} // namespace

TEST(Safety, ItemsTheRecycleBinCannotTakeStayWhereTheyAre)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    struct Case { BrokenTrash::Kind kind; DWORD code; bool window; };
    const Case cases[] = {
        {BrokenTrash::FilesImmutable, kErrorRecycleBinRefused, false},
        {BrokenTrash::FilesImmutable, kErrorRecycleBinRefused, true},
        {BrokenTrash::InfoIsAFile, kErrorItemRemains, false},
        {BrokenTrash::InfoIsAFile, kErrorItemRemains, true},
    };
    // The shell's file operation sees that the bin takes nothing and says so
    // before it acts; Wine's single call claims success and leaves the item.
    const DWORD infoIsAFile = testutil::UnderDouble() ? kErrorRecycleBinRefused : kErrorItemRemains;
    for (Case c : cases) {
        if (c.kind == BrokenTrash::InfoIsAFile) c.code = infoIsAFile;
        SCOPED_TRACE(testing::Message() << "trash " << c.kind << (c.window ? " window" : " console"));
        TempTree t(L"bin");
        MakeSolution(t);
        const std::string before = testutil::SnapshotTree(t.root());
        const std::wstring failed = FormatText(L"ERROR: (%d) Failed to clean up folder: \"%ls\". Some items could not be removed. %ls",
                                               static_cast<int>(c.code), t.root().c_str(), GetErrorText(c.code).c_str());
        BrokenTrash trash(c.kind);
        ASSERT_TRUE(trash.ok);
        if (c.window) {
            EXPECT_NE(RunWindow(t.root()).find(failed), std::wstring::npos);
        } else {
            PROCESS_RESULT r = RunCli(Quoted(t.root()));
            EXPECT_EQ(r.exitCode, 1u);
            EXPECT_TRUE(Contains(r.out, failed)) << r.out;
            // Every failed item is named with its code.
            for (const wchar_t* item : {L"App\\build.log", L"App\\Debug", L"App\\obj\\x\\b.obj"})
                EXPECT_TRUE(Contains(r.out, FormatText(L"FAILED: (%d) \"%ls\"", static_cast<int>(c.code), t.path(item).c_str())))
                    << testutil::Narrow(item) << "\n" << r.out;
        }
        EXPECT_EQ(testutil::SnapshotTree(t.root()), before) << "nothing destroyed, nothing moved";
    }
}

TEST(Safety, OddNamesAndLongPathsDoNotBlockTheRestOfTheFolder)
{
    TempTree t(L"odd");
    t.file(L"App.sln", "solution");
    t.file(L"Debug/a.obj", "obj");
    t.file(L"odd./c.log", "log");       // the ordinary form of this name would be "odd"
    // Another object, protected, that the odd one must never be taken for.
    t.file(L"odd/c.log", "kept");
    t.file(L"odd/Mopwright (do not delete).txt", "c.log");
    t.file(L"blank /d.log", "log");
    const std::wstring deep = std::wstring(120, L'd') + L"/" + std::wstring(120, L'e');
    t.file(deep + L"/Debug/a.obj", "obj");
    t.file(deep + L"/x.log", "log");
    ASSERT_GT(t.path(deep + L"/Debug/a.obj").size(), static_cast<size_t>(MAX_PATH));

    PROCESS_RESULT r = RunCli(Quoted(t.root()) + L" --json");
    EXPECT_EQ(r.exitCode, 1u) << r.out;
    for (const wchar_t* item : {L"odd.\\c.log", L"blank \\d.log"})
        EXPECT_TRUE(Contains(r.out, L"{\"path\":\"" + JsonPath(t.path(item)) + L"\",\"error\":123,"))
            << testutil::Narrow(item) << "\n" << r.out;
    EXPECT_TRUE(t.exists(L"odd./c.log"));
    EXPECT_TRUE(t.exists(L"odd/c.log"));
    EXPECT_TRUE(t.exists(L"blank /d.log"));
    EXPECT_FALSE(t.exists(L"Debug"));
    // The shell's file operations take no path past the ordinary limit: such
    // items stay, and fail on their own.
    EXPECT_TRUE(Contains(r.out, L"{\"path\":\"" + JsonPath(t.path(deep + L"/x.log")) + L"\",\"error\":536871180,"))
        << r.out;
    EXPECT_TRUE(t.exists(deep + L"/Debug"));
    EXPECT_TRUE(t.exists(deep + L"/x.log"));
}

TEST(Safety, ConsoleResolvesRelativeFoldersAndStopsOnCtrlCAtOnce)
{
    TempTree t(L"rel");
    MakeSolution(t);
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(GetParentPath(t.root()).c_str()));
    const std::wstring relative = t.root().substr(t.root().find_last_of(L'\\') + 1);
    PROCESS_RESULT r = RunCli(Quoted(relative));
    ::SetCurrentDirectoryW(saved);
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, L"Success! Cleaned up folder: \"" + t.root() + L"\"")) << r.out;
    EXPECT_FALSE(t.exists(L"App/Debug"));

    // Ctrl+C in the program's first moments: it says it was stopped, exit 1.
    TempTree big(L"ctrlc-start");
    big.file(L"Big.sln");
    for (int i = 0; i < 2000; ++i) big.file(L"logs/" + std::to_wstring(i % 20) + L"/f" + std::to_wstring(i) + L".log");
    const std::wstring name = big.root().substr(big.root().find_last_of(L'\\') + 1);
    r = RunCli(Quoted(big.root()), [&] {
        ::Sleep(150);
        testutil::RunLinux(L"/usr/bin/pkill -INT -f \"mopwright-cli.exe.*" + name + L"\"");
    });
    EXPECT_EQ(r.exitCode, 1u) << r.out << r.err;
    EXPECT_NE(r.err.find("mopwright-cli: stopped by Ctrl+C."), std::string::npos) << r.err;
}

TEST(Safety, DriveRootsAndProfileFoldersAreRefused)
{
    // A drive letter mapped to a temporary folder, through the prefix's drive links.
    TempTree t(L"root");
    MakeSolution(t);
    const std::wstring prefix = testutil::WindowsPath(testutil::EnvVar(L"WINEPREFIX"));
    ASSERT_FALSE(prefix.empty());
    const std::wstring link = prefix + L"\\dosdevices\\m:";
    testutil::RemoveTree(link);
    ASSERT_TRUE(testutil::RunLinux(L"/bin/ln -s \"" + testutil::LinuxPath(t.root()) + L"\" \"" +
                                       testutil::LinuxPath(link) + L"\"",
                                   [] { return ::GetFileAttributesW(L"M:\\App.sln") != INVALID_FILE_ATTRIBUTES; }));
    const std::string refused = "ERROR: Cannot clean a system or top-level folder: \"M:\\\"";
    PROCESS_RESULT r = RunCli(L"M:\\");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.out.find(refused), std::string::npos) << r.out;
    EXPECT_TRUE(t.exists(L"App/Debug/main.obj"));
    r = RunCli(L"--dry-run --json M:\\");
    EXPECT_NE(r.out.find("\"status\":\"top-level\""), std::string::npos) << r.out;
    r = RunCli(L"--force-top-level M:\\");
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_FALSE(t.exists(L"App/Debug"));
    testutil::RunLinux(L"/bin/rm -f \"" + testutil::LinuxPath(link) + L"\"");

    // The profile's own folder, not the folders below it.
    const std::wstring profile = testutil::EnvVar(L"USERPROFILE");
    ASSERT_FALSE(profile.empty());
    const std::wstring below = profile + L"\\mopwright-safety";
    for (const std::wstring& folder : {profile, below}) {
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::CreateDirectoryW((folder + L"\\Debug").c_str(), nullptr);
        UniqueFile(::CreateFileW((folder + L"\\Safety.sln").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    r = RunCli(Quoted(profile) + L" " + Quoted(below));
    EXPECT_NE(r.out.find(testutil::Narrow(L"ERROR: Cannot clean a system or top-level folder: \"" + profile + L"\"")),
              std::string::npos) << r.out;
    EXPECT_TRUE(Contains(r.out, L"Success! Cleaned up folder: \"" + below + L"\"")) << r.out;
    EXPECT_NE(::GetFileAttributesW((profile + L"\\Debug").c_str()), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW((profile + L"\\Safety.sln").c_str());
    ::RemoveDirectoryW((profile + L"\\Debug").c_str());
    testutil::RemoveTree(below);
}

TEST(Safety, RefusedFoldersAreRefusedByAnySpelling)
{
    const std::wstring prefix = testutil::WindowsPath(testutil::EnvVar(L"WINEPREFIX"));
    const std::wstring profile = testutil::EnvVar(L"USERPROFILE");
    ASSERT_FALSE(prefix.empty());
    ASSERT_FALSE(profile.empty());
    wchar_t shortName[MAX_PATH] = L"";
    const DWORD n = ::GetShortPathNameW(L"C:\\Program Files", shortName, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    ASSERT_EQ(std::wstring(shortName).find(L' '), std::wstring::npos) << testutil::Narrow(shortName);
    TempTree t(L"spell");
    t.dir(L"plain");
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"windows-link"), prefix + L"\\drive_c\\windows"));

    const std::pair<std::wstring, bool> cases[] = {
        {L"C:\\Windows", true},
        {L"c:\\WINDOWS", true},
        {L"C:\\windows\\..\\windows", true},
        {L"\\\\?\\C:\\Windows", true},
        {prefix + L"\\drive_c\\windows", true},
        {t.path(L"windows-link"), true},
        {L"C:\\Program Files", true},
        {shortName, true},
        {L"\\\\?\\C:\\Users\\" + profile.substr(profile.find_last_of(L'\\') + 1), true},
        {L"C:\\users\\Public", true},   // another profile's own folder
        {L"C:\\", true},
        {L"C:\\windows\\system32", false},
        {profile + L"\\Desktop", false},
        {t.path(L"plain"), false},
    };
    std::wstring args;
    for (const auto& [folder, refused] : cases)   // "C:\" quoted would escape its quote
        args += L" " + (folder.find(L' ') == std::wstring::npos ? folder : Quoted(folder));
    PROCESS_RESULT r = RunCli(L"--dry-run --json" + args);
    std::vector<bool> statuses;
    const std::string status = "\"status\":\"";
    for (size_t at = r.out.find(status); at != std::string::npos; at = r.out.find(status, at + 1))
        statuses.push_back(r.out.compare(at + status.size(), 10, "top-level\"") == 0);
    ASSERT_EQ(statuses.size(), std::size(cases)) << r.out;
    for (size_t i = 0; i < statuses.size(); ++i)
        EXPECT_EQ(statuses[i], cases[i].second) << testutil::Narrow(cases[i].first);
}

TEST(Safety, ARestoreBeforeAnyCleanUpHasNothingToRestore)
{
    // No clean-up has ever written a journal: the folder for them is not there
    // (moved aside for the test, while no other test program runs).
    wchar_t local[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const std::wstring journals = JoinPath(local, L"Mopwright"), aside = journals + L".aside";
    const bool moved = MoveFileW(journals.c_str(), aside.c_str()) != 0;
    ASSERT_TRUE(moved || GetLastError() == ERROR_FILE_NOT_FOUND);
    TempTree t(L"never-cleaned");
    t.files({L"App.sln", L"x64/Debug/a.obj"});

    const PROCESS_RESULT r = RunCli(L"--restore " + Quoted(t.root()));
    const DWORD made = GetFileAttributesW(journals.c_str());
    if (moved) {
        testutil::RemoveTree(journals);
        MoveFileW(aside.c_str(), journals.c_str());
    }
    EXPECT_EQ(r.exitCode, 0u) << r.out;
    EXPECT_EQ(testutil::Widen(r.out), L"Nothing to restore for: \"" + t.root() + L"\"\r\nRestored 0 items.\r\n");
    EXPECT_EQ(made, INVALID_FILE_ATTRIBUTES) << "a restore made the journal folder";
    EXPECT_TRUE(t.exists(L"x64/Debug/a.obj"));
}
