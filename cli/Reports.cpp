#include "cli/Reports.h"

#include <algorithm>

#include "cli/Json.h"
#include "cli/ShellMenu.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

std::wstring Number(unsigned long long n) { return std::to_wstring(n); }

void WriteSkipped(CJsonWriter& json, const std::vector<SKIPPED_FOLDER>& skipped)
{
    json.BeginArray(L"skipped");
    for (const SKIPPED_FOLDER& s : skipped)
        json.BeginObject().String(L"folder", s.folder).String(L"newestChange", IsoTime(s.newestChange)).EndObject();
    json.EndArray();
}

void WriteTotals(CJsonWriter& json, unsigned long long items, unsigned long long bytes, unsigned long long sparedItems,
                 unsigned long long sparedBytes)
{
    json.BeginObject(L"totals")
        .Number(L"items", items)
        .Number(L"bytes", bytes)
        .Number(L"sparedItems", sparedItems)
        .Number(L"sparedBytes", sparedBytes)
        .EndObject();
}

// "failures":[{"path":str, "error":int, "errorText":str}]
template <class FAILURE>
void WriteFailures(CJsonWriter& json, const std::vector<FAILURE>& failures)
{
    json.BeginArray(L"failures");
    for (const FAILURE& f : failures)
        json.BeginObject()
            .String(L"path", f.path)
            .Number(L"error", f.error)
            .String(L"errorText", GetErrorText(f.error))
            .EndObject();
    json.EndArray();
}

std::wstring Document(const CJsonWriter& json) { return json.Text() + L"\n"; }

} // namespace

std::wstring DryRunJson(const DRY_RUN_SUMMARY& dry)
{
    CJsonWriter json;
    json.BeginObject().String(L"mode", L"dry-run").Bool(L"deleteSuo", dry.deleteSuo).BeginArray(L"folders");
    for (const DRY_RUN_FOLDER& r : dry.reports) {
        json.BeginObject()
            .String(L"folder", r.folder)
            .String(L"status", FolderStatusName(r.status))
            .String(L"solution", r.solutionFile)
            .Number(L"error", r.error)
            .String(L"errorText", r.errorText)
            .String(L"unreadableList", r.unreadableList)
            .String(L"unlistableFolder", r.unlistableFolder)
            .String(L"unreadableIndex", r.unreadableIndex)
            .BeginArray(L"items");
        for (const ITEM_OUTCOME& it : r.forecast.items)
            json.BeginObject()
                .String(L"path", it.path)
                .String(L"kind", DeleteTypeName(it.nType))
                .String(L"plan", it.vsPlan ? L"vs" : L"main")
                .Number(L"bytes", it.bytes)
                .EndObject();
        json.EndArray().BeginArray(L"spared");
        for (const SPARED_OUTCOME& s : r.forecast.spared)
            json.BeginObject()
                .String(L"path", s.path)
                .String(L"kind", s.isFolder ? L"folder" : L"file")
                .Number(L"bytes", s.bytes)
                .String(L"reason", KeepReasonName(s.reason))
                .EndObject();
        json.EndArray();
        WriteTotals(json, r.forecast.items.size(), r.forecast.totalBytes, r.forecast.spared.size(),
                    r.forecast.sparedBytes);
        json.EndObject();
    }
    json.EndArray();
    WriteTotals(json, dry.items, dry.bytes, dry.sparedItems, dry.sparedBytes);
    WriteSkipped(json, dry.skipped);
    json.BeginArray(L"bins");
    for (const BIN_ROOM& bin : dry.bins) WriteBinRoomJson(json, bin);
    json.EndArray().Bool(L"failed", dry.failed).EndObject();
    return Document(json);
}

std::wstring DryRunText(const DRY_RUN_SUMMARY& dry)
{
    std::wstring out = L"Dry run: nothing is deleted.\n" + SkippedText(dry.skipped);
    for (const DRY_RUN_FOLDER& r : dry.reports) {
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
    out += L"\nTotal: would remove " + Number(dry.items) + L" items, " + Number(dry.bytes) + L" bytes; spared " +
           Number(dry.sparedItems) + L" items, " + Number(dry.sparedBytes) + L" bytes.\n";
    for (const BIN_ROOM& bin : dry.bins)
        if (const std::wstring line = BinRoomDryRunLine(bin); !line.empty()) out += line + L"\n";
    // What each solution folder would free, largest first.
    std::vector<const DRY_RUN_FOLDER*> bySize;
    for (const DRY_RUN_FOLDER& r : dry.reports)
        if (r.status == FolderStatus::Planned) bySize.push_back(&r);
    std::stable_sort(bySize.begin(), bySize.end(), [](const DRY_RUN_FOLDER* a, const DRY_RUN_FOLDER* b) {
        return a->forecast.totalBytes > b->forecast.totalBytes;
    });
    out += L"\n" + FormatText(L"%16ls  %ls\n", L"Bytes to free", L"Solution folder");
    for (const DRY_RUN_FOLDER* r : bySize) out += FormatText(L"%16llu  %ls\n", r->forecast.totalBytes, r->folder.c_str());
    out += FormatText(L"%16llu  %ls\n", dry.bytes, L"Total");
    return out;
}

std::wstring CleanJson(const CLEAN_SUMMARY& clean)
{
    const CConsoleHost& host = *clean.host;
    CJsonWriter json;
    json.BeginObject().String(L"mode", L"clean").Bool(L"deleteSuo", clean.deleteSuo).BeginArray(L"log");
    for (const std::wstring& line : host.Lines()) json.String(line);
    json.EndArray().BeginArray(L"folders");
    for (const FOLDER_RESULT& r : host.Folders()) {
        json.BeginObject().String(L"folder", r.folder);
        WriteFailures(json, r.failures);
        json.EndObject();
    }
    json.EndArray();
    WriteSkipped(json, host.Skipped());
    json.Number(L"reclaimedBytes", clean.reclaimedBytes).Number(L"removedItems", clean.removedItems).BeginArray(L"bins");
    for (const FOLDER_BIN_ROOMS& checked : host.BinRooms())
        for (const BIN_ROOM& room : checked.rooms) WriteBinRoomJson(json, room, &checked.folder);
    json.EndArray().Bool(L"failed", clean.failed).EndObject();
    return Document(json);
}

std::wstring CleanText(const CLEAN_SUMMARY& clean)
{
    return L"Reclaimed " + Number(clean.reclaimedBytes) + L" bytes, removed " + Number(clean.removedItems) + L" items.\n";
}

std::wstring RestoreJson(const RESTORE_SUMMARY& restore)
{
    CJsonWriter json;
    json.BeginObject().String(L"mode", L"restore").Bool(L"dryRun", restore.dryRun).BeginArray(L"folders");
    for (const FOLDER_RESTORE& r : restore.results) {
        json.BeginObject().String(L"folder", r.folder).Number(L"restored", r.restored.size()).BeginArray(L"items");
        for (const std::wstring& path : r.restored) json.String(path);
        json.EndArray();
        WriteFailures(json, r.failures);
        json.EndObject();
    }
    json.EndArray().Number(L"restoredItems", restore.restoredItems).Bool(L"failed", restore.failed).EndObject();
    return Document(json);
}

std::wstring RestoreText(const RESTORE_SUMMARY& restore)
{
    std::wstring out;
    for (const FOLDER_RESTORE& r : restore.results) {
        if (!r.journaled) out += L"Nothing to restore for: \"" + r.folder + L"\"\n";
        if (restore.dryRun)
            for (const std::wstring& path : r.restored) out += L"Would restore: \"" + path + L"\"\n";
        for (const RESTORE_FAILURE& failure : r.failures)
            out += FormatText(L"NOT RESTORED: (%d) \"%ls\". %ls\n", static_cast<int>(failure.error),
                              failure.path.c_str(), GetErrorText(failure.error).c_str());
    }
    return out + (restore.dryRun ? L"Would restore " : L"Restored ") + Number(restore.restoredItems) + L" items.\n";
}

std::wstring ShellMenuText(bool install, bool changed, const std::wstring& program)
{
    const std::wstring entry = L"\"" + std::wstring(kShellMenuText) + L"\"";
    std::wstring what;
    if (install)
        what = changed ? L"Added " + entry + L" to the folder menu: " + ShellMenuCommand(program)
                       : L"The folder menu already holds " + entry + L": " + ShellMenuCommand(program);
    else
        what = changed ? L"Removed " + entry + L" from the folder menu."
                       : L"The folder menu holds no " + entry + L"; nothing to remove.";
    return what + L" (HKEY_CURRENT_USER\\" + kShellMenuKey + L")\n";
}
