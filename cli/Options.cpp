#include "cli/Options.h"

#include <cwchar>
#include <cwctype>

#include "support/PathUtil.h"

namespace {

const wchar_t kUsage[] =
    L"Usage: mopwright-cli [--dry-run] [--delete-suo] [--json] [--force-top-level]\n"
    L"                     [--recurse] [--older-than DAYS] [--include-tracked] FOLDER...\n"
    L"       mopwright-cli --restore [--dry-run] [--json] FOLDER...\n"
    L"       mopwright-cli --check FOLDER\n"
    L"       mopwright-cli --install-shell-menu | --uninstall-shell-menu | --version | --help\n";

const wchar_t kHelpIntro[] =
    L"Cleans Visual Studio solution folders of build output and intermediate files,\n"
    L"sending what it removes to the Recycle Bin, exactly as the Mopwright window does.\n"
    L"\n";

const wchar_t kHelpEnd[] =
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

const OPTION_ROW kOptions[] = {
    {.name = L"--dry-run",
     .flag = &OPTIONS::dryRun,
     .withRestore = true,
     .help = L"  --dry-run     plan only: list every item that would be removed, with its size,\n"
             L"                and the items that do-not-delete files spare; change nothing\n"},
    {.name = L"--delete-suo",
     .flag = &OPTIONS::deleteSuo,
     .help = L"  --delete-suo  also remove solution user-option (.suo) files\n"},
    {.name = L"--json",
     .flag = &OPTIONS::json,
     .withRestore = true,
     .help = L"  --json        print one JSON document instead of text\n"},
    {.name = L"--force-top-level",
     .flag = &OPTIONS::allowTopLevel,
     .help = L"  --force-top-level  also clean a drive root, the Windows or Program Files\n"
             L"                folder or a user profile's own folder (refused otherwise)\n"},
    {.name = L"--recurse",
     .flag = &OPTIONS::recurse,
     .help = L"  --recurse     clean every solution folder found at or below each FOLDER\n"
             L"                (never through links, nor inside Debug, obj, ipch, .vs, .git)\n"},
    {.name = L"--older-than",
     .takesValue = true,
     .number = &OPTIONS::olderThanDays,
     .maxNumber = 100000,
     .valueProblem = L"mopwright-cli: --older-than takes a number of days\n",
     .help = L"  --older-than DAYS  leave out solution folders with a file (other than what\n"
             L"                would be removed) changed less than DAYS days ago\n"},
    {.name = L"--include-tracked",
     .flag = &OPTIONS::includeTracked,
     .help = L"  --include-tracked  also remove what git tracks: without it, every file\n"
             L"                that the git index of a solution's working tree tracks stays\n"},
    {.name = L"--install-shell-menu",
     .flag = &OPTIONS::installShellMenu,
     .help = L"  --install-shell-menu    add \"Clean with Mopwright\" to the folder menu of\n"
             L"                Explorer, for the current user (starts mopwright.exe beside this)\n"},
    {.name = L"--uninstall-shell-menu",
     .flag = &OPTIONS::uninstallShellMenu,
     .help = L"  --uninstall-shell-menu  remove that entry again\n"},
    {.name = L"--restore",
     .flag = &OPTIONS::restore,
     .withRestore = true,
     .help = L"  --restore     undo each FOLDER's most recent clean-up: what it sent to the\n"
             L"                Recycle Bin and is still there goes back to its place, and the\n"
             L"                empty folders it removed are made again; with --dry-run, list\n"
             L"                what would come back\n"},
    {.name = L"--check",
     .flag = &OPTIONS::check,
     .withRestore = true,   // refused with anything, --restore included, by its own rule
     .help = L"  --check FOLDER  test this system: name the Windows version, the deleter and\n"
             L"                the Recycle Bin's state on FOLDER's drive, then clean a small\n"
             L"                test solution made in a new folder inside FOLDER, check that\n"
             L"                everything removed is in the Recycle Bin, restore it, compare,\n"
             L"                and remove what was made; the last line says \"check passed\"\n"},
    {.name = L"--help",
     .aliases = {L"-h", L"/?"},
     .flag = &OPTIONS::help,
     .withRestore = true,
     .help = L"  --help        show this text\n"},
    {.name = L"--version",
     .flag = &OPTIONS::version,
     .withRestore = true,
     .help = L"  --version     print the program's version and the deleter in use\n"},
};

const OPTION_ROW* FindOption(const std::wstring& arg)
{
    for (const OPTION_ROW& row : kOptions) {
        if (arg == row.name) return &row;
        for (const wchar_t* alias : row.aliases)
            if (alias && arg == alias) return &row;
    }
    return nullptr;
}

// The value of `row` from `value` (null: none was given); false when it is not one.
bool ReadValue(const OPTION_ROW& row, const wchar_t* value, OPTIONS& options)
{
    if (!value || !*value) return false;
    wchar_t* end = nullptr;
    const long n = wcstol(value, &end, 10);
    if (*end || n < 0 || n > row.maxNumber) return false;
    options.*row.number = static_cast<int>(n);
    return true;
}

// The rules between options, once every argument is read; `given` holds each option given.
bool CheckCombination(const OPTIONS& options, const std::vector<const OPTION_ROW*>& given, std::wstring& problem)
{
    if (options.help || options.version) return true;
    // The self-test makes and cleans a tree of its own: nothing else goes with it.
    bool otherThanCheck = false, notWithRestore = false;
    for (const OPTION_ROW* row : given) {
        otherThanCheck = otherThanCheck || row->flag != &OPTIONS::check;
        notWithRestore = notWithRestore || !row->withRestore;
    }
    if (options.check && (options.folders.size() != 1 || otherThanCheck)) {
        problem = L"mopwright-cli: --check takes exactly one folder and no other option\n";
        return false;
    }
    // A restore undoes a clean-up as it was: no clean-up option changes it.
    if (options.restore && notWithRestore) {
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

} // namespace

std::span<const OPTION_ROW> OptionTable() { return kOptions; }

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

bool LooksLikeSlashOption(const std::wstring& arg)
{
    return arg.size() > 1 && arg[0] == L'/' && (std::iswalpha(arg[1]) || arg[1] == L'?') && !FolderExists(FullPath(arg));
}

bool ParseArguments(int argc, wchar_t** argv, OPTIONS& options, std::wstring& problem)
{
    bool onlyFolders = false;   // after "--"
    std::vector<const OPTION_ROW*> given;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (onlyFolders) {
            options.folders.push_back(FullPath(arg));
        } else if (arg == L"--") {
            onlyFolders = true;
        } else if ((arg.size() > 1 && arg[0] == L'-') || arg == L"/?") {
            const OPTION_ROW* row = FindOption(arg);
            if (!row) {
                problem = L"mopwright-cli: unknown option " + arg + L"\n";
                return false;
            }
            if (row->takesValue) {
                if (!ReadValue(*row, i + 1 < argc ? argv[i + 1] : nullptr, options)) {
                    problem = row->valueProblem;
                    return false;
                }
                ++i;
            } else {
                options.*row->flag = true;
            }
            given.push_back(row);
        } else if (IsDashLookalike(arg[0])) {
            // Taken as a folder, it would be a missing one, and the folders
            // after it would be cleaned without the option meant.
            problem = L"mopwright-cli: " + arg + L" is not an option: options begin with \"--\", two hyphen-minus " +
                      L"signs (write -- before a folder whose name begins with a dash)\n";
            return false;
        } else if (LooksLikeSlashOption(arg)) {
            problem = L"mopwright-cli: " + arg + L" is neither an option nor an existing folder: options begin with \"--\"\n";
            return false;
        } else {
            // As every console tool reads it: relative to the current folder.
            options.folders.push_back(FullPath(arg));
        }
    }
    return CheckCombination(options, given, problem);
}

const wchar_t* UsageText() { return kUsage; }

std::wstring HelpText()
{
    std::wstring text = kHelpIntro;
    for (const OPTION_ROW& row : kOptions)
        if (row.help) text += row.help;
    return text + kHelpEnd;
}
