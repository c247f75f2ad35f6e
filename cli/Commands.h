#pragma once
// The console program's commands, each run to its end and reported on
// standard output; each answers the program's exit code.
#include <string>

#include "cli/Options.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// --version: the program's version and the deleter in use.
int RunVersion();
// --install-shell-menu or --uninstall-shell-menu.
int RunShellMenu(const OPTIONS& options);
// --dry-run: plans every folder, changes nothing.
int RunDry(const OPTIONS& options);
// The clean-up itself, and what it reclaimed.
int RunClean(const OPTIONS& options);
// --restore (with --dry-run: what would come back).
int RunRestore(const OPTIONS& options);
