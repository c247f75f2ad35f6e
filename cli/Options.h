#pragma once
// mopwright-cli's command line: one table of its options, one loop that reads
// the arguments by it, and the usage and help texts.
#include <array>
#include <span>
#include <string>
#include <vector>

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

// One option of the command line.
struct OPTION_ROW {
    const wchar_t* name;                                 // "--dry-run"
    std::array<const wchar_t*, 2> aliases{};             // other spellings ("-h", "/?"), or null
    bool takesValue = false;                             // the next argument is its value
    bool OPTIONS::*flag = nullptr;                       // without a value: set to true
    int OPTIONS::*number = nullptr;                      // with a value: a whole number of 0..maxNumber
    long maxNumber = 0;
    const wchar_t* valueProblem = nullptr;               // the message for a missing or wrong value
    bool withRestore = false;                            // may go with --restore
    const wchar_t* help = nullptr;                       // its lines of the help text, in table order
};

// Every option, in the order the help text lists them.
std::span<const OPTION_ROW> OptionTable();

// The dashes and hyphens that word processors and fonts put where "-" was
// typed: an argument that begins with one is a mistyped option, not a folder.
bool IsDashLookalike(wchar_t c);

// "/dry-run", "/?x": an option written the old Windows way, unless such a folder exists.
bool LooksLikeSlashOption(const std::wstring& arg);

// Reads the arguments (argv[1] on) into `options`, folders made full paths;
// answers false, with the line that says why in `problem`, for wrong usage.
bool ParseArguments(int argc, wchar_t** argv, OPTIONS& options, std::wstring& problem);

// "Usage: mopwright-cli ..." lines.
const wchar_t* UsageText();
// What --help prints after the usage text and an empty line.
std::wstring HelpText();
