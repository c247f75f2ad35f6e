#include "cli/Commands.h"

#include <windows.h>
#include <algorithm>
#include <vector>

#include "MopwrightVersion.h"
#include "cli/ConsoleHost.h"
#include "cli/DryRun.h"
#include "cli/Reports.h"
#include "cli/ShellMenu.h"
#include "engine/running/CleanupRun.h"
#include "engine/recycling/DeleterChoice.h"
#include "engine/undo/Restore.h"
#include "engine/planning/SolutionDetect.h"
#include "support/ErrorText.h"
#include "support/FileTime.h"
#include "support/PathUtil.h"

namespace {

// The FILETIME before which a solution's last change must lie; 0 without --older-than.
ULONGLONG AgeThreshold(const OPTIONS& options)
{
    if (options.olderThanDays < 0) return 0;
    return NowFileTime() - static_cast<ULONGLONG>(options.olderThanDays) * kFileTimeUnitsPerDay;
}

CLEANUP_OPTIONS CleanupOptions(const OPTIONS& options)
{
    CLEANUP_OPTIONS cleanup;
    cleanup.deleteSuo = options.deleteSuo ? TRUE : FALSE;
    cleanup.allowTopLevel = options.allowTopLevel;
    cleanup.includeTracked = options.includeTracked;
    return cleanup;
}

// The folders to clean: those given, or with --recurse every solution folder
// found below them; "Found N" is said in text mode.
std::vector<std::wstring> FoldersToClean(const OPTIONS& options, bool& failed)
{
    if (!options.recurse) return options.folders;
    std::vector<std::wstring> unreadable;
    std::vector<std::wstring> found = FindSolutionFolders(options.folders, &unreadable);
    for (const std::wstring& folder : unreadable) {
        WriteOut(stderr, L"mopwright-cli: cannot search folder: " + folder + L"\n");
        failed = true;
    }
    if (!options.json) WriteOut(stdout, L"Found " + std::to_wstring(found.size()) + L" solution folder(s).\n");
    return found;
}

// Folders measured for the reclaimed totals: none inside another one. In path
// order with '\\' first, a folder's whole tree follows it.
std::vector<std::wstring> OutermostFolders(const std::vector<std::wstring>& folders)
{
    std::vector<std::pair<std::wstring, size_t>> keys;
    for (size_t i = 0; i < folders.size(); ++i) {
        std::wstring key = PathKey(folders[i]);
        for (wchar_t& c : key)
            if (c == L'\\') c = 1;
        keys.emplace_back(std::move(key), i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::wstring> out;
    const std::wstring* outer = nullptr;
    for (const auto& [key, index] : keys) {
        const bool inside = outer && key.compare(0, outer->size(), *outer) == 0 &&
                            (key.size() == outer->size() || outer->back() == 1 || key[outer->size()] == 1);
        if (inside) continue;
        outer = &key;
        out.push_back(folders[index]);
    }
    return out;
}

// Each of `folders` measured; one that cannot be measured whole is named on
// standard error (once), and the reclaimed figures leave it out.
std::vector<TREE_TOTALS> MeasureFolders(const std::vector<std::wstring>& folders, const std::vector<TREE_TOTALS>* earlier)
{
    std::vector<TREE_TOTALS> totals;
    for (size_t i = 0; i < folders.size(); ++i) {
        totals.push_back(MeasureTree(folders[i]));
        const TREE_TOTALS& t = totals.back();
        // A folder that is not there is reported by the run itself.
        if (!t.Complete() && (!earlier || (*earlier)[i].Complete()) && FolderExists(folders[i]))
            WriteOut(stderr, FormatText(L"mopwright-cli: (%d) cannot measure \"%ls\". %ls\n", static_cast<int>(t.error),
                                        folders[i].c_str(), GetErrorText(t.error).c_str()));
    }
    return totals;
}

} // namespace

int RunVersion()
{
    WriteOut(stdout, std::wstring(L"mopwright-cli " MOPWRIGHT_VERSION_WSTRING L"\ndeletes through: ") +
                         ActiveDeleterName() + L"\n");
    return kExitOk;
}

int RunShellMenu(const OPTIONS& options)
{
    // The window program stands beside the console program.
    const std::wstring self = ModulePath(nullptr);
    if (self.empty()) return kExitFailed;
    const std::wstring program = JoinPath(GetParentPath(self), L"mopwright.exe");
    if (options.installShellMenu && !IsExistingFile(program)) {
        // An entry that starts nothing would only fail in Explorer, later.
        WriteOut(stderr, L"mopwright-cli: the folder menu is left as it is: " + program +
                             L" is not there (it must stand beside the console program)\n");
        return kExitFailed;
    }
    bool changed = false;
    LSTATUS status = options.installShellMenu ? InstallShellMenu(program, changed) : UninstallShellMenu(changed);
    if (status != ERROR_SUCCESS) {
        WriteOut(stderr, FormatText(L"mopwright-cli: (%d) could not change HKEY_CURRENT_USER\\%ls. %ls\n",
                                    static_cast<int>(status), kShellMenuKey, GetErrorText(status).c_str()));
        return kExitFailed;
    }
    WriteOut(stdout, ShellMenuText(options.installShellMenu, changed, program));
    return kExitOk;
}

int RunDry(const OPTIONS& options)
{
    DRY_RUN_SUMMARY dry;
    dry.deleteSuo = options.deleteSuo;
    const ULONGLONG threshold = AgeThreshold(options);
    const std::vector<std::wstring> folders = FoldersToClean(options, dry.failed);
    CCleanupPlanner planner(CleanupOptions(options));
    CRemovedSet removedSoFar;   // what the folders reported so far remove whole
    for (size_t index = 0; index < folders.size(); ++index) {
        if (ConsoleStopRequested()) break;
        const CLEANUP_PLAN plan = planner.Plan(folders, index);
        if (threshold && plan.status == FolderStatus::Planned && ChangedSince(plan.newestKept, threshold)) {
            dry.skipped.push_back({plan.folder, plan.newestKept});
            continue;
        }
        dry.reports.push_back(DryRunReport(plan, &removedSoFar));
    }

    // A solution nested in another one's tree is planned with it and holds
    // its own items, and one inside a folder that another sends whole has
    // its items counted there: every item counts once.
    std::vector<DRIVE_BYTES> binBytes;   // what the whole clean-up sends to each drive's bin
    for (const DRY_RUN_FOLDER& r : dry.reports) {
        dry.failed = dry.failed || r.status != FolderStatus::Planned || r.error != 0;
        dry.items += r.forecast.items.size();
        dry.bytes += r.forecast.totalBytes;
        dry.sparedItems += r.forecast.spared.size();
        dry.sparedBytes += r.forecast.sparedBytes;
        AddDriveBytes(binBytes, r.binBytes);
    }
    dry.bins = CheckBinRoom(binBytes);
    WriteOut(stdout, options.json ? DryRunJson(dry) : DryRunText(dry));
    return dry.failed ? kExitFailed : kExitOk;
}

int RunClean(const OPTIONS& options)
{
    bool failed = false;
    std::vector<std::wstring> queue = FoldersToClean(options, failed);

    // Measure what is there before and after: what went is what was reclaimed.
    const std::vector<std::wstring> measured = OutermostFolders(queue);
    const std::vector<TREE_TOTALS> before = MeasureFolders(measured, nullptr);

    CConsoleHost host(options.json ? CConsoleHost::Output::Json : CConsoleHost::Output::Text);
    host.SetSolutionCount(queue.size());
    host.SetAgeLimit(AgeThreshold(options));
    if (!ConsoleStopRequested()) RunCleanup(host, queue, CleanupOptions(options));

    const std::vector<TREE_TOTALS> after = MeasureFolders(measured, &before);
    CLEAN_SUMMARY clean;
    clean.deleteSuo = options.deleteSuo;
    clean.host = &host;
    for (size_t i = 0; i < measured.size(); ++i) {
        if (!before[i].Complete() || !after[i].Complete()) continue;
        if (before[i].bytes > after[i].bytes) clean.reclaimedBytes += before[i].bytes - after[i].bytes;
        if (before[i].items > after[i].items) clean.removedItems += before[i].items - after[i].items;
    }
    clean.failed = failed || !host.Succeeded();
    WriteOut(stdout, options.json ? CleanJson(clean) : CleanText(clean));
    return clean.failed ? kExitFailed : kExitOk;
}

int RunRestore(const OPTIONS& options)
{
    // The progress line of a clean-up, on a console's standard error; Ctrl+C stops between items.
    CConsoleHost host(options.json ? CConsoleHost::Output::Json : CConsoleHost::Output::Text);
    host.SetSolutionCount(options.folders.size());
    RESTORE_EVENTS events;
    events.folderStarted = [&](const std::wstring& folder, size_t) { host.StartRestoreOf(folder); };
    events.progress = [&](UINT done, UINT total) { host.Progress(done, total, 0); };
    events.keepGoing = [&] { return host.KeepGoing(); };
    RESTORE_SUMMARY restore;
    restore.dryRun = options.dryRun;
    restore.results = RestoreCleanups(options.folders, options.dryRun ? RestoreMode::DryRun : RestoreMode::Restore,
                                      nullptr, events);
    host.EraseProgress();
    for (const FOLDER_RESTORE& r : restore.results) {
        restore.restoredItems += r.restored.size();
        restore.failed = restore.failed || !r.failures.empty();
    }
    WriteOut(stdout, options.json ? RestoreJson(restore) : RestoreText(restore));
    return restore.failed ? kExitFailed : kExitOk;
}
