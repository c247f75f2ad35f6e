#include "engine/running/LogLines.h"

#include "support/ErrorText.h"
#include "support/PathUtil.h"

std::wstring PlanningFailureLine(const CLEANUP_PLAN& plan)
{
    if (plan.status != FolderStatus::PlanningFailed) return {};
    if (!plan.unreadableList.empty()) return UnreadableListLine(plan.unreadableList, plan.unreadableError);
    if (!plan.unreadableIndex.empty()) return UnreadableIndexLine(plan.unreadableIndex, plan.unreadableError);
    if (plan.unlistableFolder.empty()) return {};
    return FormatText(L"ERROR: (%d) Cannot list folder: \"%ls\". %ls", static_cast<int>(plan.error),
                      plan.unlistableFolder.c_str(), GetErrorText(plan.error).c_str());
}

std::wstring UnreadableListLine(const std::wstring& file, DWORD error)
{
    return FormatText(L"ERROR: (%d) Cannot read do-not-delete file: \"%ls\". %ls", static_cast<int>(error), file.c_str(),
                      GetErrorText(error).c_str());
}

std::wstring UnreadableIndexLine(const std::wstring& file, DWORD error)
{
    return FormatText(L"ERROR: (%d) Cannot read git index: \"%ls\". %ls Nothing in the folder was touched: let git "
                      L"repair the repository (\"git status\" there says what it makes of it), or clean without "
                      L"keeping tracked files (mopwright-cli --include-tracked).",
                      static_cast<int>(error), file.c_str(), GetErrorText(error).c_str());
}

std::wstring TrackedKeptLine(const CLEANUP_PLAN& plan)
{
    // Where git tracks none of what the rules name, nothing is said.
    if (plan.status != FolderStatus::Planned || plan.trackedKept == 0) return {};
    return FormatText(L"Kept %d %ls that git tracks.", static_cast<int>(plan.trackedKept),
                      plan.trackedKept == 1 ? L"file" : L"files");
}

std::vector<std::wstring> RunStartedLines()
{
    return {L" ", L"Clean-up process has been started. Please wait ..."};
}

std::wstring RunFinishedLine(bool errorsSeen)
{
    return errorsSeen ? L"Finished clean-up process with errors:" : L"Finished clean-up process.";
}

std::wstring FolderRefusedLine(const CLEANUP_PLAN& plan)
{
    const wchar_t* format = nullptr;
    switch (plan.status) {
    case FolderStatus::TopLevel: format = L"ERROR: Cannot clean a system or top-level folder: \"%ls\""; break;
    case FolderStatus::Inaccessible: format = L"ERROR: Cannot access folder: \"%ls\""; break;
    case FolderStatus::NoSolution: format = L"ERROR: The folder contains no recognized Visual Studio solution: \"%ls\""; break;
    case FolderStatus::PlanningFailed:
    case FolderStatus::Planned: return {};
    }
    return format ? FormatText(format, plan.folder.c_str()) : std::wstring();
}

std::wstring CleanedLine(const std::wstring& folder)
{
    return FormatText(L"Success! Cleaned up folder: \"%ls\"", folder.c_str());
}

std::wstring FailedLine(const std::wstring& folder, DWORD code, bool deletionBegun)
{
    // Once deletion has begun, items may already be in the Recycle Bin:
    // the line must not claim that nothing changed.
    const wchar_t* format =
        deletionBegun ? L"ERROR: (%d) Failed to clean up folder: \"%ls\". Some items could not be removed. %ls"
                      : L"ERROR: (%d) Failed to clean up folder: \"%ls\". No changes were applied. %ls";
    return FormatText(format, static_cast<int>(code), folder.c_str(), GetErrorText(code).c_str());
}
