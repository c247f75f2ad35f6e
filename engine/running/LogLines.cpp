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
