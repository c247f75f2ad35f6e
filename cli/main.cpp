// mopwright-cli: the clean-up for scripts and build servers, on the same engine
// and rules as the window program, with a dry run that shows what would go.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

#include "MopwrightVersion.h"
#include "cli/ConsoleHost.h"
#include "cli/DryRun.h"
#include "cli/Json.h"
#include "engine/Beep.h"
#include "engine/CleanupRun.h"
#include "support/ErrorText.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const wchar_t kUsage[] =
    L"Usage: mopwright-cli [--dry-run] [--delete-suo] [--json] [--force-top-level] FOLDER...\n";

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
    L"  --help        show this text\n"
    L"  --version     print the program's version\n"
    L"\n"
    L"Each FOLDER must directly hold a .sln or .slnx file. Exit code: 0 when no\n"
    L"folder failed, 1 when any did or when Ctrl+C stopped the program, 2 for wrong\n"
    L"usage. Ctrl+C stops a clean-up between two items (error 1235); what was removed\n"
    L"until then stays removed. Nothing is ever deleted outright: an item that the\n"
    L"Recycle Bin cannot take stays where it is, and its folder fails.\n";

struct OPTIONS {
    bool dryRun = false;
    bool deleteSuo = false;
    bool json = false;
    bool help = false;
    bool allowTopLevel = false;
    bool version = false;
    std::vector<std::wstring> folders;
};

// A folder argument as every console tool reads it: relative to the current folder.
std::wstring FullPathOf(const std::wstring& arg)
{
    DWORD needed = ::GetFullPathNameW(arg.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return arg;
    std::wstring full(needed, L'\0');
    DWORD got = ::GetFullPathNameW(arg.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed) return arg;
    full.resize(got);
    return full;
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
            else if (arg == L"--help" || arg == L"-h" || arg == L"/?") options.help = true;
            else if (arg == L"--version") options.version = true;
            else {
                problem = L"mopwright-cli: unknown option " + arg + L"\n";
                return false;
            }
        } else {
            options.folders.push_back(FullPathOf(arg));
        }
    }
    if (options.help || options.version) return true;
    if (options.folders.empty()) {
        problem = L"mopwright-cli: no folder given\n";
        return false;
    }
    return true;
}

std::wstring Number(unsigned long long n) { return std::to_wstring(n); }

void NoBeep(UINT) {}

int RunDry(const OPTIONS& options)
{
    std::vector<DRY_RUN_FOLDER> reports;
    for (const std::wstring& folder : options.folders) {
        if (ConsoleStopRequested()) break;
        reports.push_back(PlanFolderDryRun(folder, options.deleteSuo, options.allowTopLevel));
    }

    bool failed = false;
    unsigned long long items = 0, bytes = 0, sparedItems = 0, sparedBytes = 0;
    for (const DRY_RUN_FOLDER& r : reports) {
        failed = failed || r.status != DryRunStatus::Planned || r.error != 0;
        items += r.items.size();
        bytes += r.totalBytes;
        sparedItems += r.spared.size();
        sparedBytes += r.sparedBytes;
    }

    std::wstring out;
    if (options.json) {
        out = L"{\"mode\":\"dry-run\",\"deleteSuo\":" + std::wstring(options.deleteSuo ? L"true" : L"false") +
              L",\"folders\":[";
        for (size_t f = 0; f < reports.size(); ++f) {
            const DRY_RUN_FOLDER& r = reports[f];
            if (f) out += L",";
            out += L"{\"folder\":" + JsonString(r.folder) + L",\"status\":" + JsonString(DryRunStatusName(r.status)) +
                   L",\"solution\":" + JsonString(r.solutionFile) + L",\"error\":" + Number(r.error) +
                   L",\"errorText\":" + JsonString(r.errorText) + L",\"unreadableList\":" +
                   JsonString(r.unreadableList) + L",\"items\":[";
            for (size_t i = 0; i < r.items.size(); ++i) {
                const DRY_RUN_ITEM& it = r.items[i];
                if (i) out += L",";
                out += L"{\"path\":" + JsonString(it.path) + L",\"kind\":" + JsonString(DeleteTypeName(it.nType)) +
                       L",\"plan\":" + JsonString(it.vsPlan ? L"vs" : L"main") + L",\"bytes\":" + Number(it.bytes) + L"}";
            }
            out += L"],\"spared\":[";
            for (size_t i = 0; i < r.spared.size(); ++i) {
                const DRY_RUN_SPARED& s = r.spared[i];
                if (i) out += L",";
                out += L"{\"path\":" + JsonString(s.path) + L",\"kind\":" +
                       JsonString(s.isFolder ? L"folder" : L"file") + L",\"bytes\":" + Number(s.bytes) + L"}";
            }
            out += L"],\"totals\":{\"items\":" + Number(r.items.size()) + L",\"bytes\":" + Number(r.totalBytes) +
                   L",\"sparedItems\":" + Number(r.spared.size()) + L",\"sparedBytes\":" + Number(r.sparedBytes) + L"}}";
        }
        out += L"],\"totals\":{\"items\":" + Number(items) + L",\"bytes\":" + Number(bytes) + L",\"sparedItems\":" +
               Number(sparedItems) + L",\"sparedBytes\":" + Number(sparedBytes) + L"},\"failed\":" +
               (failed ? L"true" : L"false") + L"}\n";
    } else {
        out = L"Dry run: nothing is deleted.\n";
        for (const DRY_RUN_FOLDER& r : reports) {
            out += L"\nFolder: " + r.folder + L"\n";
            switch (r.status) {
            case DryRunStatus::Inaccessible: out += L"  ERROR: Cannot access folder.\n"; continue;
            case DryRunStatus::TopLevel: out += L"  ERROR: Cannot clean a system or top-level folder.\n"; continue;
            case DryRunStatus::NoSolution: out += L"  ERROR: The folder contains no recognized Visual Studio solution.\n"; continue;
            case DryRunStatus::PlanningFailed:
                if (!r.unreadableLine.empty()) out += L"  " + r.unreadableLine + L"\n";
                out += L"  ERROR: (" + std::to_wstring(static_cast<int>(r.error)) + L") Planning failed. " + r.errorText + L"\n";
                continue;
            case DryRunStatus::Planned: break;
            }
            out += L"  Solution: " + r.solutionFile + L"\n";
            if (r.error)
                out += L"  ERROR: (" + std::to_wstring(static_cast<int>(r.error)) + L") The clean-up would fail. " +
                       r.errorText + L"\n";
            for (const DRY_RUN_ITEM& it : r.items) {
                wchar_t line[64];
                swprintf(line, 64, L"  %-4ls %-16ls %14llu  ", it.vsPlan ? L"vs" : L"main", DeleteTypeName(it.nType),
                         it.bytes);
                out += line + it.path + L"\n";
            }
            for (const DRY_RUN_SPARED& s : r.spared) {
                wchar_t line[64];
                swprintf(line, 64, L"  keep %-16ls %14llu  ", s.isFolder ? L"folder" : L"file", s.bytes);
                out += line + s.path + L"\n";
            }
            out += L"  Would remove " + Number(r.items.size()) + L" items, " + Number(r.totalBytes) + L" bytes; spared " +
                   Number(r.spared.size()) + L" items, " + Number(r.sparedBytes) + L" bytes.\n";
        }
        out += L"\nTotal: would remove " + Number(items) + L" items, " + Number(bytes) + L" bytes; spared " +
               Number(sparedItems) + L" items, " + Number(sparedBytes) + L" bytes.\n";
    }
    WriteOut(stdout, out);
    return failed ? kExitFailed : kExitOk;
}

int RunClean(const OPTIONS& options)
{
    // Measure what is there before and after: what went is what was reclaimed.
    TREE_TOTALS before, after;
    for (const std::wstring& folder : options.folders) {
        TREE_TOTALS t = MeasureTree(folder);
        before.items += t.items;
        before.bytes += t.bytes;
    }

    CConsoleHost host(!options.json);
    std::vector<std::wstring> queue = options.folders;
    CLEANUP_OPTIONS cleanup;
    cleanup.deleteSuo = options.deleteSuo ? TRUE : FALSE;
    cleanup.allowTopLevel = options.allowTopLevel;
    if (!ConsoleStopRequested()) RunCleanup(host, queue, cleanup);

    for (const std::wstring& folder : options.folders) {
        TREE_TOTALS t = MeasureTree(folder);
        after.items += t.items;
        after.bytes += t.bytes;
    }
    unsigned long long reclaimed = before.bytes > after.bytes ? before.bytes - after.bytes : 0;
    unsigned long long removed = before.items > after.items ? before.items - after.items : 0;
    bool failed = !host.Succeeded();

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
        out += L"],\"reclaimedBytes\":" + Number(reclaimed) + L",\"removedItems\":" + Number(removed) +
               L",\"failed\":" + (failed ? L"true" : L"false") + L"}\n";
        WriteOut(stdout, out);
    } else {
        WriteOut(stdout, L"Reclaimed " + Number(reclaimed) + L" bytes, removed " + Number(removed) + L" items.\n");
    }
    return failed ? kExitFailed : kExitOk;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Ctrl+C from the very first moment on: the program says it was stopped.
    InstallConsoleStopHandler();
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
        WriteOut(stdout, L"mopwright-cli " MOPWRIGHT_VERSION_WSTRING L"\n");
        return kExitOk;
    }
    SetEngineBeepHook(NoBeep);   // a console program does not beep
    int code = options.dryRun ? RunDry(options) : RunClean(options);
    if (ConsoleStopRequested()) {
        WriteOut(stderr, L"mopwright-cli: stopped by Ctrl+C.\n");
        code = kExitFailed;
    }
    return code;
}
