#include "cli/DryRun.h"

#include <shlwapi.h>
#include <unordered_set>

#include "support/ErrorText.h"
#include "engine/Executor.h"
#include "engine/SolutionDetect.h"
#include "engine/Transaction.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace {

// Counts every file once, whichever item reaches it first (the .vs rule and the
// main walk may both plan the same folder).
class CByteCounter {
public:
    explicit CByteCounter(const ProtectedList& keep) : m_keep(keep) {}

    // Bytes below `folder` not yet counted; protected entries met on the way are
    // reported as spared and not entered, as the deletion takes them apart.
    unsigned long long Folder(const std::wstring& folder, std::vector<DRY_RUN_SPARED>& spared)
    {
        unsigned long long total = 0;
        DirListing listing;
        if (!listing.Open(folder)) return 0;
        const WIN32_FIND_DATAW* e;
        while (listing.Next(e)) {
            if (DirListing::IsLink(*e)) continue;
            std::wstring full = JoinPath(folder, e->cFileName);
            bool isDir = DirListing::IsDirectory(*e);
            if (m_keep.Protects(full, isDir)) {
                DRY_RUN_SPARED s{full, isDir, isDir ? Measure(full) : DirListing::FileBytes(*e)};
                spared.push_back(s);
                continue;
            }
            if (isDir) total += Folder(full, spared);
            else if (m_seen.insert(FoldPathCase(full)).second) total += DirListing::FileBytes(*e);
        }
        return total;
    }

    static unsigned long long Measure(const std::wstring& folder) { return MeasureTree(folder).bytes; }

private:

    const ProtectedList& m_keep;
    std::unordered_set<std::wstring> m_seen;
};

} // namespace

const wchar_t* DeleteTypeName(int nType)
{
    switch (nType) {
    case DEL_TYPE_FILE: return L"file";
    case DEL_TYPE_EMPTY_FOLDER: return L"folder-if-empty";
    case DEL_TYPE_FOLDER_NO_RECURSION: return L"folder";
    case DEL_TYPE_FOLDER_TREE: return L"folder-tree";
    default: return L"unknown";
    }
}

const wchar_t* DryRunStatusName(DryRunStatus status)
{
    switch (status) {
    case DryRunStatus::Planned: return L"planned";
    case DryRunStatus::Inaccessible: return L"inaccessible";
    case DryRunStatus::NoSolution: return L"no-solution";
    case DryRunStatus::PlanningFailed: return L"planning-failed";
    case DryRunStatus::TopLevel: return L"top-level";
    }
    return L"unknown";
}

TREE_TOTALS MeasureTree(const std::wstring& folder)
{
    TREE_TOTALS totals;
    const std::wstring base = NormalizeFolderPath(folder, FALSE);
    DirListing listing;
    if (base.empty() || !listing.Open(base)) return totals;
    const WIN32_FIND_DATAW* e;
    std::vector<std::wstring> subfolders;
    while (listing.Next(e)) {
        ++totals.items;
        if (DirListing::IsLink(*e)) continue;
        if (DirListing::IsDirectory(*e)) subfolders.push_back(JoinPath(base, e->cFileName));
        else totals.bytes += DirListing::FileBytes(*e);
    }
    listing.Close();
    for (const std::wstring& sub : subfolders) {
        TREE_TOTALS inner = MeasureTree(sub);
        totals.items += inner.items;
        totals.bytes += inner.bytes;
    }
    return totals;
}

DRY_RUN_FOLDER PlanFolderDryRun(const std::wstring& folder, bool deleteSuo, bool allowTopLevel)
{
    DRY_RUN_FOLDER report;
    report.folder = folder;
    if (!allowTopLevel && IsTopLevelFolder(folder)) {
        report.status = DryRunStatus::TopLevel;
        return report;
    }
    if (!FolderExists(folder)) {
        report.status = DryRunStatus::Inaccessible;
        return report;
    }
    std::wstring baseName;
    const wchar_t* extension = nullptr;
    for (const wchar_t* ext : kSolutionExtensions) {
        if (FindSolutionFile(folder, ext, &baseName)) {
            extension = ext;
            break;
        }
    }
    if (!extension) {
        report.status = DryRunStatus::NoSolution;
        return report;
    }
    report.solutionFile = baseName + extension;

    CLEANUP_PLAN plan;
    if (!BuildCleanupPlan(baseName, deleteSuo ? TRUE : FALSE, folder, plan)) {
        report.error = ::GetLastError();
        report.status = DryRunStatus::PlanningFailed;
        report.errorText = GetErrorText(report.error);
        report.unreadableList = plan.unreadableList;
        if (!plan.unreadableList.empty())
            report.unreadableLine = UnreadableListLine(plan.unreadableList, plan.unreadableError);
        return report;
    }

    report.newestKept = plan.newestKept;
    for (const ITEM_2_DELETE& item : plan.vsPlan) report.items.push_back({item.strPath, item.nType, true, item.bytes});
    for (const ITEM_2_DELETE& item : plan.mainPlan) report.items.push_back({item.strPath, item.nType, false, item.bytes});

    // Bytes come from the walks that planned the items, attributed in the
    // order of deletion: the .vs plan first to last, then the main plan last
    // to first. The main walk also passes through .vs: what it plans there at
    // or below an item of the .vs plan removes nothing more.
    CByteCounter counter(plan.protectedList);
    std::unordered_set<std::wstring> vsGone;
    auto underVsItem = [&](const std::wstring& path) {
        if (vsGone.empty()) return false;
        std::wstring key = FoldPathCase(path);
        if (key.find(L"\\.VS") == std::wstring::npos) return false;
        for (; !key.empty(); key = GetParentPath(key))
            if (vsGone.count(key)) return true;
        return false;
    };
    std::vector<bool> spareItem(report.items.size(), false);
    std::vector<size_t> order;
    for (size_t i = 0; i < plan.vsPlan.size(); ++i) order.push_back(i);
    for (size_t i = report.items.size(); i-- > plan.vsPlan.size();) order.push_back(i);
    for (size_t index : order) {
        DRY_RUN_ITEM& item = report.items[index];
        std::wstring path = NormalizeFolderPath(item.path, FALSE);
        if (DWORD refusal = CheckPlannedItem(item.nType, path)) {
            // The deletion would refuse this item (a relative path, say).
            report.error = refusal;
            report.errorText = GetErrorText(report.error);
            continue;
        }
        const bool isFolder = item.nType != DEL_TYPE_FILE;
        if (IsProtectedItem(item.nType, plan.protectedList, path)) {
            spareItem[index] = true;
            report.spared.push_back({path, isFolder, isFolder ? MeasureTree(path).bytes : item.bytes});
            continue;
        }
        if (item.vsPlan) vsGone.insert(FoldPathCase(path));
        else if (underVsItem(path)) item.bytes = 0;
        if (item.nType == DEL_TYPE_EMPTY_FOLDER) item.bytes = 0;
        // A folder with a protected entry below is taken apart: only then is it walked again.
        else if (isFolder && plan.protectedList.HasEntryBelow(path)) item.bytes = counter.Folder(path, report.spared);
    }
    // Items that the protected lists name stay: they are listed as spared only.
    std::vector<DRY_RUN_ITEM> removed;
    for (size_t i = 0; i < report.items.size(); ++i)
        if (!spareItem[i]) removed.push_back(std::move(report.items[i]));
    report.items = std::move(removed);
    for (const DRY_RUN_ITEM& item : report.items) report.totalBytes += item.bytes;
    for (const DRY_RUN_SPARED& s : report.spared) report.sparedBytes += s.bytes;
    return report;
}

ULONGLONG NewestKeptChange(const std::wstring& folder, bool deleteSuo)
{
    for (const wchar_t* extension : kSolutionExtensions) {
        std::wstring baseName;
        if (!FindSolutionFile(folder, extension, &baseName)) continue;
        CLEANUP_PLAN plan;
        return BuildCleanupPlan(baseName, deleteSuo ? TRUE : FALSE, folder, plan) ? plan.newestKept : 0;
    }
    return 0;
}
