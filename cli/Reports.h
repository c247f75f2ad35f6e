#pragma once
// What the console program prints when a command is over: the dry run's, the
// clean-up's and the restore's reports, as text or as one JSON document
// (all written by cli/Json.h's writer), and the shell menu's line.
#include <string>
#include <vector>

#include "cli/ConsoleHost.h"
#include "cli/DryRun.h"
#include "engine/undo/Restore.h"

// A dry run over every folder.
struct DRY_RUN_SUMMARY {
    bool deleteSuo = false;
    std::vector<DRY_RUN_FOLDER> reports;   // in queue order, without the skipped ones
    std::vector<SKIPPED_FOLDER> skipped;
    std::vector<BIN_ROOM> bins;            // per drive, for all folders together
    unsigned long long items = 0, bytes = 0, sparedItems = 0, sparedBytes = 0;
    bool failed = false;
};
std::wstring DryRunJson(const DRY_RUN_SUMMARY& dry);
std::wstring DryRunText(const DRY_RUN_SUMMARY& dry);

// A clean-up, as its host saw it, and what it reclaimed.
struct CLEAN_SUMMARY {
    bool deleteSuo = false;
    const CConsoleHost* host = nullptr;
    unsigned long long reclaimedBytes = 0, removedItems = 0;
    bool failed = false;
};
std::wstring CleanJson(const CLEAN_SUMMARY& clean);
std::wstring CleanText(const CLEAN_SUMMARY& clean);

// A restore (or, with `dryRun`, what one would bring back).
struct RESTORE_SUMMARY {
    bool dryRun = false;
    std::vector<FOLDER_RESTORE> results;
    size_t restoredItems = 0;
    bool failed = false;
};
std::wstring RestoreJson(const RESTORE_SUMMARY& restore);
std::wstring RestoreText(const RESTORE_SUMMARY& restore);

// The line that says what --install-shell-menu or --uninstall-shell-menu did.
std::wstring ShellMenuText(bool install, bool changed, const std::wstring& program);
