// mopwright-cli: the clean-up for scripts and build servers, on the same engine
// and rules as the window program, with a dry run that shows what would go.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "MopwrightVersion.h"
#include "cli/ConsoleHost.h"
#include "cli/DryRun.h"
#include "cli/Json.h"
#include "cli/SelfCheck.h"
#include "cli/ShellMenu.h"
#include "engine/SolutionDetect.h"
#include "engine/Beep.h"
#include "engine/CleanupRun.h"
#include "engine/Recycler.h"
#include "support/ComInit.h"
#include "engine/Restore.h"
#include "support/ErrorText.h"
#include "support/FileTime.h"
#include "support/PathUtil.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"Usage: mopwright-cli [--dry-run] [--delete-suo] [--json] [--force-top-level]\n"
    L"                     [--recurse] [--older-than DAYS] [--include-tracked] FOLDER...\n"
    L"       mopwright-cli --restore [--dry-run] [--json] FOLDER...\n"
    L"       mopwright-cli --check FOLDER\n"
    L"       mopwright-cli --install-shell-menu | --uninstall-shell-menu | --version | --help\n";

const wchar_t kHelp[] =
    L"Cleans Visual Studio solution folders of build output and intermediate files,\n"
    L"sending what it removes to the Recycle Bin, exactly as the Mopwright window does.\n"
    L"\n"
    L"  --dry-run     plan only: list every item that would be removed, with its size,\n"
    L"                and the items that do-not-delete files spare; change nothing\n"
    L"  --delete-suo  also remove solution user-option (.suo) files\n"
    L"  --json        print one JSON document instead of text\n"
    L"  --force-top-level  also clean a drive root, the Windows or Program Files\n"
    L"                folder or a user profile's own folder (refused otherwise)\n"
    L"  --recurse     clean every solution folder found at or below each FOLDER\n"
    L"                (never through links, nor inside Debug, obj, ipch, .vs, .git)\n"
    L"  --older-than DAYS  leave out solution folders with a file (other than what\n"
    L"                would be removed) changed less than DAYS days ago\n"
    L"  --include-tracked  also remove what git tracks: without it, every file\n"
    L"                that the git index of a solution's working tree tracks stays\n"
    L"  --install-shell-menu    add \"Clean with Mopwright\" to the folder menu of\n"
    L"                Explorer, for the current user (starts mopwright.exe beside this)\n"
    L"  --uninstall-shell-menu  remove that entry again\n"
    L"  --restore     undo each FOLDER's most recent clean-up: what it sent to the\n"
    L"                Recycle Bin and is still there goes back to its place, and the\n"
    L"                empty folders it removed are made again; with --dry-run, list\n"
    L"                what would come back\n"
    L"  --check FOLDER  test this system: name the Windows version, the deleter and\n"
    L"                the Recycle Bin's state on FOLDER's drive, then clean a small\n"
    L"                test solution made in a new folder inside FOLDER, check that\n"
    L"                everything removed is in the Recycle Bin, restore it, compare,\n"
    L"                and remove what was made; the last line says \"check passed\"\n"
    L"  --help        show this text\n"
    L"  --version     print the program's version and the deleter in use\n"
    L"\n"
    L"Each FOLDER must directly hold a .sln or .slnx file. Exit code: 0 when no\n"
    L"folder failed, 1 when any did or when Ctrl+C stopped the program, 2 for wrong\n"
    L"usage. Ctrl+C stops a clean-up between two items (error 1235); what was removed\n"
    L"until then stays removed. Nothing is ever deleted outright: an item that the\n"
    L"Recycle Bin cannot take stays where it is, and its folder fails.\n"
    L"\n"
    L"Every clean-up writes down what it removed, one journal per solution folder in\n"
    L"%LOCALAPPDATA%\\Mopwright. A restore touches only the items that clean-up put in\n"
    L"the Recycle Bin; an item whose place is taken again (a build ran since) stays in\n"
    L"the bin (183), as does one that is gone from it (2). Exit code of --restore: 0\n"
    L"when everything came back or there was nothing, 1 when any item failed.\n";

struct OPTIONS {
    bool dryRun = false;
    bool deleteSuo = false;
    bool json = false;
    bool help = false;
    bool allowTopLevel = false;
    bool version = false;
    bool recurse = false;
    int olderThanDays = -1;   // -1: every folder, whatever its age
    bool installShellMenu = false;
    bool uninstallShellMenu = false;
    bool restore = false;
    bool check = false;
    bool includeTracked = false;
    std::vector<std::wstring> folders;
};


// The dashes and hyphens that word processors and fonts put where "-" was
// typed: an argument that begins with one is a mistyped option, not a folder.
bool IsDashLookalike(wchar_t c)
{
    switch (c) {
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015:   // hyphen .. horizontal bar
    case 0x2212:                                                                     // minus sign
    case 0xFE58: case 0xFE63: case 0xFF0D:                                           // small and full-width forms
        return true;
    default:
        return false;
    }
}

// "/dry-run", "/?x": an option written the old Windows way, unless such a folder exists.
bool LooksLikeSlashOption(const std::wstring& arg)
{
    return arg.size() > 1 && arg[0] == L'/' && (std::iswalpha(arg[1]) || arg[1] == L'?') && !FolderExists(FullPath(arg));
}

// Parses the arguments; answers false (with a message in `problem`) for wrong usage.
bool ParseArguments(int argc, wchar_t** argv, OPTIONS& options, std::wstring& problem)
{
    bool onlyFolders = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (!onlyFolders && arg.size() > 1 && arg[0] == L'-') {
            if (arg == L"--") onlyFolders = true;
            else if (arg == L"--dry-run") options.dryRun = true;
            else if (arg == L"--delete-suo") options.deleteSuo = true;
            else if (arg == L"--json") options.json = true;
            else if (arg == L"--force-top-level") options.allowTopLevel = true;
            else if (arg == L"--help" || arg == L"-h") options.help = true;
            else if (arg == L"--version") options.version = true;
            else if (arg == L"--recurse") options.recurse = true;
            else if (arg == L"--install-shell-menu") options.installShellMenu = true;
            else if (arg == L"--uninstall-shell-menu") options.uninstallShellMenu = true;
            else if (arg == L"--restore") options.restore = true;
            else if (arg == L"--check") options.check = true;
            else if (arg == L"--include-tracked") options.includeTracked = true;
            else if (arg == L"--older-than") {
                wchar_t* end = nullptr;
                const long days = i + 1 < argc ? wcstol(argv[i + 1], &end, 10) : -1;
                if (i + 1 >= argc || !*argv[i + 1] || *end || days < 0 || days > 100000) {
                    problem = L"mopwright-cli: --older-than takes a number of days\n";
                    return false;
                }
                options.olderThanDays = static_cast<int>(days);
                ++i;
            }
            else {
                problem = L"mopwright-cli: unknown option " + arg + L"\n";
                return false;
            }
        } else if (!onlyFolders && arg == L"/?") {
            options.help = true;
        } else if (!onlyFolders && IsDashLookalike(arg[0])) {
            // Taken as a folder, it would be a missing one, and the folders
            // after it would be cleaned without the option meant.
            problem = L"mopwright-cli: " + arg + L" is not an option: options begin with \"--\", two hyphen-minus " +
                      L"signs (write -- before a folder whose name begins with a dash)\n";
            return false;
        } else if (!onlyFolders && LooksLikeSlashOption(arg)) {
            problem = L"mopwright-cli: " + arg + L" is neither an option nor an existing folder: options begin with \"--\"\n";
            return false;
        } else {
            // As every console tool reads it: relative to the current folder.
            options.folders.push_back(FullPath(arg));
        }
    }
    if (options.help || options.version) return true;
    // The self-test makes and cleans a tree of its own: nothing else goes with it.
    if (options.check && (options.folders.size() != 1 || options.dryRun || options.deleteSuo || options.json ||
                          options.allowTopLevel || options.recurse || options.olderThanDays >= 0 || options.restore ||
                          options.includeTracked || options.installShellMenu || options.uninstallShellMenu)) {
        problem = L"mopwright-cli: --check takes exactly one folder and no other option\n";
        return false;
    }
    // A restore undoes a clean-up as it was: no clean-up option changes it.
    if (options.restore && (options.deleteSuo || options.allowTopLevel || options.recurse || options.includeTracked ||
                            options.olderThanDays >= 0 || options.installShellMenu || options.uninstallShellMenu)) {
        problem = L"mopwright-cli: --restore takes only --dry-run, --json and folders\n";
        return false;
    }
    // The folder menu is changed one way at a time, and never with folders,
    // which would be left uncleaned.
    const wchar_t* shellMenu = options.installShellMenu ? L"--install-shell-menu" : L"--uninstall-shell-menu";
    if (options.installShellMenu && options.uninstallShellMenu) {
        problem = L"mopwright-cli: --install-shell-menu and --uninstall-shell-menu cannot be given together\n";
        return false;
    }
    if ((options.installShellMenu || options.uninstallShellMenu) && !options.folders.empty()) {
        problem = L"mopwright-cli: " + std::wstring(shellMenu) + L" takes no folder\n";
        return false;
    }
    if (options.installShellMenu || options.uninstallShellMenu) return true;
    if (options.folders.empty()) {
        problem = L"mopwright-cli: no folder given\n";
        return false;
    }
    return true;
}

std::wstring Number(unsigned long long n) { return std::to_wstring(n); }

void NoBeep(UINT) {}

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

std::wstring SkippedJson(const std::vector<SKIPPED_FOLDER>& skipped)
{
    std::wstring out = L"\"skipped\":[";
    for (size_t i = 0; i < skipped.size(); ++i)
        out += (i ? L",{\"folder\":" : L"{\"folder\":") + JsonString(skipped[i].folder) + L",\"newestChange\":" +
               JsonString(IsoTime(skipped[i].newestChange)) + L"}";
    return out + L"]";
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
    if (!options.json) WriteOut(stdout, L"Found " + Number(found.size()) + L" solution folder(s).\n");
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

int RunShellMenu(const OPTIONS& options)
{
    // The window program stands beside the console program.
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (n == 0) return kExitFailed;
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
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
    std::wstring what;
    if (options.installShellMenu)
        what = changed ? L"Added \"" + std::wstring(kShellMenuText) + L"\" to the folder menu: " + ShellMenuCommand(program)
                       : L"The folder menu already holds \"" + std::wstring(kShellMenuText) + L"\": " +
                             ShellMenuCommand(program);
    else
        what = changed ? L"Removed \"" + std::wstring(kShellMenuText) + L"\" from the folder menu."
                       : L"The folder menu holds no \"" + std::wstring(kShellMenuText) + L"\"; nothing to remove.";
    WriteOut(stdout, what + L" (HKEY_CURRENT_USER\\" + kShellMenuKey + L")\n");
    return kExitOk;
}

int RunDry(const OPTIONS& options)
{
    bool failed = false;
    std::vector<DRY_RUN_FOLDER> reports;
    std::vector<SKIPPED_FOLDER> skipped;
    const ULONGLONG threshold = AgeThreshold(options);
    const std::vector<std::wstring> folders = FoldersToClean(options, failed);
    CCleanupPlanner planner(CleanupOptions(options));
    CRemovedSet removedSoFar;   // what the folders reported so far remove whole
    for (size_t index = 0; index < folders.size(); ++index) {
        if (ConsoleStopRequested()) break;
        const CLEANUP_PLAN plan = planner.Plan(folders, index);
        if (threshold && plan.status == FolderStatus::Planned && ChangedSince(plan.newestKept, threshold)) {
            skipped.push_back({plan.folder, plan.newestKept});
            continue;
        }
        reports.push_back(DryRunReport(plan, &removedSoFar));
    }

    // A solution nested in another one's tree is planned with it and holds
    // its own items, and one inside a folder that another sends whole has
    // its items counted there: every item counts once.
    unsigned long long items = 0, bytes = 0, sparedItems = 0, sparedBytes = 0;
    std::vector<DRIVE_BYTES> binBytes;   // what the whole clean-up sends to each drive's bin
    for (const DRY_RUN_FOLDER& r : reports) {
        failed = failed || r.status != FolderStatus::Planned || r.error != 0;
        items += r.forecast.items.size();
        bytes += r.forecast.totalBytes;
        sparedItems += r.forecast.spared.size();
        sparedBytes += r.forecast.sparedBytes;
        AddDriveBytes(binBytes, r.binBytes);
    }
    const std::vector<BIN_ROOM> bins = CheckBinRoom(binBytes);

    std::wstring out;
    if (options.json) {
        out = L"{\"mode\":\"dry-run\",\"deleteSuo\":" + std::wstring(options.deleteSuo ? L"true" : L"false") +
              L",\"folders\":[";
        for (size_t f = 0; f < reports.size(); ++f) {
            const DRY_RUN_FOLDER& r = reports[f];
            if (f) out += L",";
            out += L"{\"folder\":" + JsonString(r.folder) + L",\"status\":" + JsonString(FolderStatusName(r.status)) +
                   L",\"solution\":" + JsonString(r.solutionFile) + L",\"error\":" + Number(r.error) +
                   L",\"errorText\":" + JsonString(r.errorText) + L",\"unreadableList\":" +
                   JsonString(r.unreadableList) + L",\"unlistableFolder\":" + JsonString(r.unlistableFolder) +
                   L",\"unreadableIndex\":" + JsonString(r.unreadableIndex) + L",\"items\":[";
            for (size_t i = 0; i < r.forecast.items.size(); ++i) {
                const ITEM_OUTCOME& it = r.forecast.items[i];
                if (i) out += L",";
                out += L"{\"path\":" + JsonString(it.path) + L",\"kind\":" + JsonString(DeleteTypeName(it.nType)) +
                       L",\"plan\":" + JsonString(it.vsPlan ? L"vs" : L"main") + L",\"bytes\":" + Number(it.bytes) + L"}";
            }
            out += L"],\"spared\":[";
            for (size_t i = 0; i < r.forecast.spared.size(); ++i) {
                const SPARED_OUTCOME& s = r.forecast.spared[i];
                if (i) out += L",";
                out += L"{\"path\":" + JsonString(s.path) + L",\"kind\":" +
                       JsonString(s.isFolder ? L"folder" : L"file") + L",\"bytes\":" + Number(s.bytes) +
                       L",\"reason\":" + JsonString(KeepReasonName(s.reason)) + L"}";
            }
            out += L"],\"totals\":{\"items\":" + Number(r.forecast.items.size()) + L",\"bytes\":" +
                   Number(r.forecast.totalBytes) + L",\"sparedItems\":" + Number(r.forecast.spared.size()) +
                   L",\"sparedBytes\":" + Number(r.forecast.sparedBytes) + L"}}";
        }
        out += L"],\"totals\":{\"items\":" + Number(items) + L",\"bytes\":" + Number(bytes) + L",\"sparedItems\":" +
               Number(sparedItems) + L",\"sparedBytes\":" + Number(sparedBytes) + L"}," + SkippedJson(skipped) +
               L",\"bins\":[";
        for (size_t i = 0; i < bins.size(); ++i) out += (i ? L"," : L"") + BinRoomJson(bins[i]);
        out += L"],\"failed\":" + std::wstring(failed ? L"true" : L"false") + L"}\n";
    } else {
        out = L"Dry run: nothing is deleted.\n" + SkippedText(skipped);
        for (const DRY_RUN_FOLDER& r : reports) {
            out += L"\nFolder: " + r.folder + L"\n";
            switch (r.status) {
            case FolderStatus::Inaccessible: out += L"  ERROR: Cannot access folder.\n"; continue;
            case FolderStatus::TopLevel: out += L"  ERROR: Cannot clean a system or top-level folder.\n"; continue;
            case FolderStatus::NoSolution: out += L"  ERROR: The folder contains no recognized Visual Studio solution.\n"; continue;
            case FolderStatus::PlanningFailed:
                if (!r.unreadableLine.empty()) out += L"  " + r.unreadableLine + L"\n";
                out += L"  ERROR: (" + std::to_wstring(static_cast<int>(r.error)) + L") Planning failed. " + r.errorText + L"\n";
                continue;
            case FolderStatus::Planned: break;
            }
            out += L"  Solution: " + r.solutionFile + L"\n";
            if (r.error)
                out += L"  ERROR: (" + std::to_wstring(static_cast<int>(r.error)) + L") The clean-up would fail. " +
                       r.errorText + L"\n";
            for (const ITEM_OUTCOME& it : r.forecast.items)
                out += FormatText(L"  %-4ls %-16ls %14llu  ", it.vsPlan ? L"vs" : L"main", DeleteTypeName(it.nType), it.bytes) +
                       it.path + L"\n";
            for (const SPARED_OUTCOME& s : r.forecast.spared) {
                std::wstring kind = s.isFolder ? L"folder" : L"file";
                if (s.reason == KeepReason::Tracked) kind += L" (tracked)";
                out += FormatText(L"  keep %-16ls %14llu  ", kind.c_str(), s.bytes) + s.path + L"\n";
            }
            out += L"  Would remove " + Number(r.forecast.items.size()) + L" items, " + Number(r.forecast.totalBytes) +
                   L" bytes; spared " + Number(r.forecast.spared.size()) + L" items, " + Number(r.forecast.sparedBytes) +
                   L" bytes.\n";
        }
        out += L"\nTotal: would remove " + Number(items) + L" items, " + Number(bytes) + L" bytes; spared " +
               Number(sparedItems) + L" items, " + Number(sparedBytes) + L" bytes.\n";
        for (const BIN_ROOM& bin : bins)
            if (const std::wstring line = BinRoomDryRunLine(bin); !line.empty()) out += line + L"\n";
        // What each solution folder would free, largest first.
        std::vector<const DRY_RUN_FOLDER*> bySize;
        for (const DRY_RUN_FOLDER& r : reports)
            if (r.status == FolderStatus::Planned) bySize.push_back(&r);
        std::stable_sort(bySize.begin(), bySize.end(), [](const DRY_RUN_FOLDER* a, const DRY_RUN_FOLDER* b) {
            return a->forecast.totalBytes > b->forecast.totalBytes;
        });
        out += L"\n" + FormatText(L"%16ls  %ls\n", L"Bytes to free", L"Solution folder");
        for (const DRY_RUN_FOLDER* r : bySize)
            out += FormatText(L"%16llu  %ls\n", r->forecast.totalBytes, r->folder.c_str());
        out += FormatText(L"%16llu  %ls\n", bytes, L"Total");
    }
    WriteOut(stdout, out);
    return failed ? kExitFailed : kExitOk;
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
    unsigned long long reclaimed = 0, removed = 0;
    for (size_t i = 0; i < measured.size(); ++i) {
        if (!before[i].Complete() || !after[i].Complete()) continue;
        if (before[i].bytes > after[i].bytes) reclaimed += before[i].bytes - after[i].bytes;
        if (before[i].items > after[i].items) removed += before[i].items - after[i].items;
    }
    failed = failed || !host.Succeeded();

    if (options.json) {
        std::wstring out = L"{\"mode\":\"clean\",\"deleteSuo\":" + std::wstring(options.deleteSuo ? L"true" : L"false") +
                           L",\"log\":[";
        for (size_t i = 0; i < host.Lines().size(); ++i) out += (i ? L"," : L"") + JsonString(host.Lines()[i]);
        out += L"],\"folders\":[";
        for (size_t f = 0; f < host.Folders().size(); ++f) {
            const FOLDER_RESULT& r = host.Folders()[f];
            out += (f ? L",{\"folder\":" : L"{\"folder\":") + JsonString(r.folder) + L",\"failures\":[";
            for (size_t i = 0; i < r.failures.size(); ++i) {
                const FAILED_ITEM& item = r.failures[i];
                out += (i ? L",{\"path\":" : L"{\"path\":") + JsonString(item.path) + L",\"error\":" +
                       Number(item.error) + L",\"errorText\":" + JsonString(GetErrorText(item.error)) + L"}";
            }
            out += L"]}";
        }
        out += L"]," + SkippedJson(host.Skipped()) + L",\"reclaimedBytes\":" + Number(reclaimed) +
               L",\"removedItems\":" + Number(removed) + L",\"bins\":[";
        bool first = true;
        for (const FOLDER_BIN_ROOMS& checked : host.BinRooms())
            for (const BIN_ROOM& room : checked.rooms) {
                out += (first ? L"" : L",") + BinRoomJson(room, &checked.folder);
                first = false;
            }
        out += L"],\"failed\":" + std::wstring(failed ? L"true" : L"false") + L"}\n";
        WriteOut(stdout, out);
    } else {
        WriteOut(stdout, L"Reclaimed " + Number(reclaimed) + L" bytes, removed " + Number(removed) + L" items.\n");
    }
    return failed ? kExitFailed : kExitOk;
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
    const std::vector<FOLDER_RESTORE> results = RestoreCleanups(
        options.folders, options.dryRun ? RestoreMode::DryRun : RestoreMode::Restore, nullptr, events);
    host.EraseProgress();
    size_t restored = 0;
    bool failed = false;
    for (const FOLDER_RESTORE& r : results) {
        restored += r.restored.size();
        failed = failed || !r.failures.empty();
    }
    std::wstring out;
    if (options.json) {
        out = L"{\"mode\":\"restore\",\"dryRun\":" + std::wstring(options.dryRun ? L"true" : L"false") + L",\"folders\":[";
        for (size_t f = 0; f < results.size(); ++f) {
            const FOLDER_RESTORE& r = results[f];
            out += (f ? L",{\"folder\":" : L"{\"folder\":") + JsonString(r.folder) + L",\"restored\":" +
                   Number(r.restored.size()) + L",\"items\":[";
            for (size_t i = 0; i < r.restored.size(); ++i) out += (i ? L"," : L"") + JsonString(r.restored[i]);
            out += L"],\"failures\":[";
            for (size_t i = 0; i < r.failures.size(); ++i)
                out += (i ? L",{\"path\":" : L"{\"path\":") + JsonString(r.failures[i].path) + L",\"error\":" +
                       Number(r.failures[i].error) + L",\"errorText\":" + JsonString(GetErrorText(r.failures[i].error)) + L"}";
            out += L"]}";
        }
        out += L"],\"restoredItems\":" + Number(restored) + L",\"failed\":" + (failed ? L"true" : L"false") + L"}\n";
    } else {
        for (const FOLDER_RESTORE& r : results) {
            if (!r.journaled) out += L"Nothing to restore for: \"" + r.folder + L"\"\n";
            if (options.dryRun)
                for (const std::wstring& path : r.restored) out += L"Would restore: \"" + path + L"\"\n";
            for (const RESTORE_FAILURE& failure : r.failures)
                out += FormatText(L"NOT RESTORED: (%d) \"%ls\". %ls\n", static_cast<int>(failure.error),
                                  failure.path.c_str(), GetErrorText(failure.error).c_str());
        }
        out += (options.dryRun ? L"Would restore " : L"Restored ") + Number(restored) + L" items.\n";
    }
    WriteOut(stdout, out);
    return failed ? kExitFailed : kExitOk;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Ctrl+C from the very first moment on: the program says it was stopped.
    InstallConsoleStopHandler();
    // Apartment-threaded COM on the thread that recycles, for the shell's file operation.
    ScopedComInit com;
    OPTIONS options;
    std::wstring problem;
    if (!ParseArguments(argc, argv, options, problem)) {
        WriteOut(stderr, problem + kUsage + L"Try 'mopwright-cli --help'.\n");
        return kExitUsage;
    }
    if (options.help) {
        WriteOut(stdout, std::wstring(kUsage) + L"\n" + kHelp);
        return kExitOk;
    }
    if (options.version) {
        WriteOut(stdout, std::wstring(L"mopwright-cli " MOPWRIGHT_VERSION_WSTRING L"\ndeletes through: ") +
                             ActiveDeleterName() + L"\n");
        return kExitOk;
    }
    if (options.installShellMenu || options.uninstallShellMenu) return RunShellMenu(options);
    SetEngineBeepHook(NoBeep);   // a console program does not beep
    if (options.check) return RunSelfCheck(options.folders.front());
    int code = options.restore ? RunRestore(options) : options.dryRun ? RunDry(options) : RunClean(options);
    if (ConsoleStopRequested()) {
        WriteOut(stderr, L"mopwright-cli: stopped by Ctrl+C.\n");
        code = kExitFailed;
    }
    return code;
}
