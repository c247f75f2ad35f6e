#include "engine/CleanupRun.h"

#include <shlobj.h>

#include "engine/Beep.h"
#include "engine/CleanupHost.h"
#include "engine/SolutionDetect.h"
#include "engine/Transaction.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// Cleans one queued folder; false when it failed in any way.
bool ProcessFolder(ICleanupHost& host, const std::wstring& folder, const CLEANUP_OPTIONS& options)
{
    const BOOL deleteSuo = options.deleteSuo;
    // A stray solution file in a drive root, the system's folders or a
    // profile would otherwise send every build folder below them to the bin.
    if (!options.allowTopLevel && IsTopLevelFolder(folder)) {
        EngineBeep(MB_ICONHAND);
        host.Log(FormatText(L"ERROR: Cannot clean a system or top-level folder: \"%ls\"", folder.c_str()));
        return false;
    }
    if (!FolderExists(folder)) {
        EngineBeep(MB_ICONHAND);
        host.Log(FormatText(L"ERROR: Cannot access folder: \"%ls\"", folder.c_str()));
        return false;
    }

    for (const wchar_t* extension : kSolutionExtensions) {
        std::wstring baseName;
        if (!FindSolutionFile(folder, extension, &baseName)) continue;

        host.Log(folder);
        CleanupFailure failure = CleanupFailure::None;
        if (CleanSolutionFolder(baseName, deleteSuo, folder, &host, &failure)) {
            host.Log(FormatText(L"Success! Cleaned up folder: \"%ls\"", folder.c_str()));
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
        host.Log(FormatText(format, static_cast<int>(code), folder.c_str(), text.c_str()));
        return false;
    }

    EngineBeep(MB_ICONHAND);
    host.Log(FormatText(L"ERROR: The folder contains no recognized Visual Studio solution: \"%ls\"", folder.c_str()));
    return false;
}

} // namespace

void RunCleanup(ICleanupHost& host, std::vector<std::wstring>& queue, const CLEANUP_OPTIONS& options)
{
    host.RunStarted();
    host.Log(L" ");
    host.Log(L"Clean-up process has been started. Please wait ...");

    bool errorsSeen = false;
    // The queue may grow while the host handles messages: its size is read
    // anew before every folder, and each path is copied before it is used.
    for (size_t index = 0; index < queue.size(); ++index) {
        const std::wstring folder = queue[index];
        host.FolderStarted(folder);
        if (!ProcessFolder(host, folder, options)) errorsSeen = true;
    }

    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    queue.clear();
    host.Log(errorsSeen ? L"Finished clean-up process with errors:" : L"Finished clean-up process.");
    host.RunEnded(errorsSeen);
}
