#include "engine/CleanupRun.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "engine/Beep.h"
#include "engine/CleanupHost.h"
#include "engine/ErrorText.h"
#include "engine/SolutionDetect.h"
#include "engine/Transaction.h"
#include "support/PathUtil.h"

volatile BOOL g_bAbortRequested = FALSE;

namespace {

// The wait cursor stays for the whole run, whichever way it ends.
class RunWaitCursor {
public:
    explicit RunWaitCursor(ICleanupHost& host) : m_host(host) { m_host.BeginWaitCursor(); }
    ~RunWaitCursor() { m_host.EndWaitCursor(); }
    RunWaitCursor(const RunWaitCursor&) = delete;
    RunWaitCursor& operator=(const RunWaitCursor&) = delete;
private:
    ICleanupHost& m_host;
};

// Cleans one queued folder; false when it failed in any way.
bool ProcessFolder(ICleanupHost& host, const std::wstring& folder, BOOL deleteSuo)
{
    if (!IsAccessibleFolder(folder)) {
        EngineBeep(MB_ICONHAND);
        AppendLog(host, FormatText(L"ERROR: Cannot access folder: \"%ls\"", folder.c_str()));
        return false;
    }

    for (const wchar_t* extension : kSolutionExtensions) {
        std::wstring baseName;
        if (!FindSolutionFile(folder, extension, &baseName)) continue;

        AppendLog(host, folder);
        CleanupFailure failure = CleanupFailure::None;
        if (CleanSolutionFolder(baseName, deleteSuo, folder, &host, &failure)) {
            AppendLog(host, FormatText(L"Success! Cleaned up folder: \"%ls\"", folder.c_str()));
            return true;
        }
        const DWORD code = ::GetLastError();
        EngineBeep(MB_ICONHAND);
        const std::wstring text = GetErrorText(code);
        // Once deletion has begun, items may already be in the Recycle Bin:
        // the line must not claim that nothing changed.
        const wchar_t* format =
            failure == CleanupFailure::Deletion
                ? L"ERROR: (%d) Failed to clean up folder: \"%ls\". Some items could not be removed. %ls"
                : L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied. %ls";
        AppendLog(host, FormatText(format, static_cast<int>(code), folder.c_str(), text.c_str()));
        return false;
    }

    EngineBeep(MB_ICONHAND);
    AppendLog(host, FormatText(L"ERROR: The folder contains no recognized Visual Studio solution: \"%ls\"",
                               folder.c_str()));
    return false;
}

} // namespace

using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

// A 32-bit process on a 64-bit system sees a redirected system folder: the
// existence test alone looks at the real file system.
bool IsAccessibleFolder(const std::wstring& folder)
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto disable = kernel ? reinterpret_cast<Wow64DisableFn>(
                                reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")))
                          : nullptr;
    auto revert = kernel ? reinterpret_cast<Wow64RevertFn>(
                               reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")))
                         : nullptr;
    const bool switchable = disable && revert;
    PVOID previous = nullptr;
    if (switchable) disable(&previous);
    const bool accessible = ::PathFileExistsW(folder.c_str()) && ::PathIsDirectoryW(folder.c_str());
    if (switchable) revert(previous);
    return accessible;
}


void AppendLog(ICleanupHost& host, const std::wstring& line)
{
    if (!line.empty()) {
        const std::wstring old = host.GetLogText();
        host.SetLogText(FormatText(L"%ls\r\n%ls", line.c_str(), old.c_str()));
    }
    // Let the panel repaint; dispatch only what is already queued, never wait.
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && !host.PumpMessage()) {
        // The main loop must still see the end of the application.
        ::PostQuitMessage(0);
    }
}

void RunCleanup(ICleanupHost& host)
{
    RunWaitCursor waitCursor(host);
    host.BringToForeground();
    host.AcceptDrops(false);

    host.ShowProgress(true);
    host.SetProgressRange(0, kProgressRange);
    host.SetProgressPos(0);
    host.SetProgressMarquee(true);

    host.SetBusy(true);
    g_bAbortRequested = FALSE;

    AppendLog(host, L" ");
    AppendLog(host, L"Clean-up process has been started. Please wait ...");

    const BOOL deleteSuo = host.IsDeleteSuoChecked() ? TRUE : FALSE;
    bool errorsSeen = false;

    // The queue may grow while messages are pumped: its size is read anew
    // before every folder, and each path is copied before it is used.
    for (size_t index = 0; index < host.QueuedFolders().size(); ++index) {
        const std::wstring folder = host.QueuedFolders()[index];
        if (!ProcessFolder(host, folder, deleteSuo)) errorsSeen = true;
    }

    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    host.QueuedFolders().clear();
    host.ShowProgress(false);
    AppendLog(host, errorsSeen ? L"Finished clean-up process with errors:" : L"Finished clean-up process.");
    host.AcceptDrops(true);
    host.RestoreWaitCursor();
    host.SetBusy(false);
    if (!errorsSeen && host.IsCloseAfterCleanup()) host.PostClose();
}
