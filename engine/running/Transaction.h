#pragma once
// The folder clean-up transaction: plan everything first, then delete.
#include <windows.h>
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/deciding/Decision.h"
#include "engine/planning/Planner.h"

class ICleanupHost;

// How a failed folder clean-up failed.
enum class CleanupFailure {
    None,       // succeeded
    Planning,   // nothing was touched
    Deletion,   // some items may already be in the Recycle Bin
};

// Deletes what a complete plan holds: the .vs plan first to last, then the
// main plan last to first. `host` drives the progress bar and the message pump
// (null: none). FALSE with the error code as last error; `failure` (optional)
// tells whether anything may have been touched.
BOOL ApplyCleanupPlan(const CLEANUP_PLAN& plan, ICleanupHost* host, CleanupFailure* failure = nullptr);

// Plans and cleans one solution folder whose base name is known: the folder
// clean-up in one call, as the design names it. The run does the same in two
// steps (CCleanupPlanner, then ApplyCleanupPlan) so that a front end sees the
// plan between them; only the tests call this form.
BOOL CleanSolutionFolder(const std::wstring& baseName, BOOL deleteSuo, const std::wstring& folder,
                         ICleanupHost* host, CleanupFailure* failure = nullptr);

// What a clean-up of a complete plan would do, item by item, without touching
// anything: the same decisions the deletion acts on, in its order.
struct ITEM_OUTCOME {
    std::wstring path;             // as planned
    int nType = DEL_TYPE_FILE;
    bool vsPlan = false;           // planned by the .vs rule (else by the main walk)
    ItemAction action = ItemAction::Recycle;
    DWORD error = 0;               // Refuse: why
    unsigned long long bytes = 0;  // what it would remove that no earlier item removes
};
struct SPARED_OUTCOME {
    std::wstring path;
    bool isFolder = false;
    unsigned long long bytes = 0;
    KeepReason reason = KeepReason::DoNotDelete;   // a do-not-delete file, or git, keeps it
};
struct CLEANUP_FORECAST {
    std::vector<ITEM_OUTCOME> items;     // in plan order (.vs plan, then main plan), each object once;
                                         // spared items and links are not among them
    std::vector<SPARED_OUTCOME> spared;  // planned, or inside planned folders, but protected
    DWORD error = 0;                     // the code the clean-up would fail with (0: none)
    unsigned long long totalBytes = 0;
    unsigned long long sparedBytes = 0;
    unsigned long long earlierBytes = 0; // planned bytes of items left out: an earlier folder removes them
};

// What earlier items of a forecast remove (case-folded paths): an item at or
// below one of them finds nothing left when its turn comes.
class CRemovedSet {
public:
    void Add(std::wstring key)
    {
        m_shortest = std::min(m_shortest, key.size());
        m_keys.insert(std::move(key));
    }
    bool Covers(std::wstring_view key) const
    {
        if (m_keys.empty()) return false;
        for (size_t end = key.size(); end >= m_shortest;) {
            if (m_keys.find(key.substr(0, end)) != m_keys.end()) return true;
            const size_t separator = end ? key.rfind(L'\\', end - 1) : std::wstring_view::npos;
            if (separator == std::wstring_view::npos || separator == 0) return false;
            end = separator;
        }
        return false;
    }

private:
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::wstring_view v) const noexcept { return std::hash<std::wstring_view>{}(v); }
    };
    std::unordered_set<std::wstring, ViewHash, std::equal_to<>> m_keys;
    size_t m_shortest = static_cast<size_t>(-1);   // no prefix shorter than this can be a key
};

// `runRemoved` (optional) holds what the forecasts of the run's earlier
// folders remove whole: an item at or below one of them is removed with it,
// is counted there and is left out here (its planned bytes go to
// `earlierBytes`); what this folder removes whole is added to it.
CLEANUP_FORECAST ForecastCleanup(const CLEANUP_PLAN& plan, CRemovedSet* runRemoved = nullptr);
