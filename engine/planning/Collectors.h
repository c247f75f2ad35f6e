#pragma once
// The rule book: which files and folders of a solution folder are planned for
// deletion. Nothing here deletes anything.
#include <windows.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include "engine/records/PlanRecords.h"

// The solution user-option files, which only the delete-.suo option removes.
inline constexpr wchar_t kSuoExtension[] = L".suo";

// The .vs rule: plans the hidden ".vs" folder of the solution folder when it
// holds a sub-folder named after the solution (base name, else base name +
// ".slnx"). Option on: the whole folder; off: the .vs walk, which spares every
// file named ".suo" and the folders leading to it. FALSE with error 9 for a
// missing folder or base name, or GetFileAttributesExW's error for ".vs".
// `newestKept` (optional) rises to the latest write time of a file that stays.
BOOL CollectVsFolder(const std::wstring& solutionFolder, const std::wstring& baseName, BOOL deleteSuo,
                     DeletePlan& vsPlan, ULONGLONG* newestKept = nullptr);

// The .vs walk, bottom-up: TRUE when `folder` was planned whole. Never fails.
// Planned items carry their bytes.
BOOL CollectVsTree(const std::wstring& folder, DeletePlan& vsPlan, ULONGLONG* newestKept = nullptr);

// One solution folder's share of a main walk.
struct WALK_TARGET {
    DeletePlan* mainPlan = nullptr;
    std::wstring ageSkipFolder;   // in: a folder whose files do not count for newestKept (the .vs folder its rule plans)
    ULONGLONG newestKept = 0;     // out: the latest write time of a file that stays
    bool reached = false;         // out: the walk entered the folder
};

// What the walk of a folder is the top of.
enum class WalkTop {
    SolutionFolder,   // exempt from the folder-name tests: its name says nothing about its use
    Subfolder,        // any other folder: tested by its name like every folder below it
};

// The main walk over `folder` and everything below it. Folders planned whole
// are looked through too (links never followed): every do-not-delete file in
// the tree is read into `protectedList`, and every planned item carries the
// bytes of the files it holds. FALSE with the error of the first listing that
// could not be started or broke off, or with the reading error of a
// do-not-delete file, whose path then goes to `extras`.
struct WALK_EXTRAS {
    std::wstring ageSkipFolder;   // in: as WALK_TARGET's, for `folder` itself
    std::wstring unreadableList;  // out: the do-not-delete file that could not be read
    std::wstring unlistableFolder;  // out: the folder whose listing could not start or broke off
    ULONGLONG newestKept = 0;     // out: as WALK_TARGET's, for `folder` itself
    // in: solution folders inside `folder` that are planned on their own (keys:
    // FoldPathCase of their canonical paths). Each one's tree goes into its own
    // target, as a solution folder; the protected list is shared. A target
    // without a plan is a folder the walk never enters.
    const std::unordered_map<std::wstring, WALK_TARGET*>* nested = nullptr;
    // out (when given): every file or folder named .git met in the walk, links
    // aside: the working trees of the tree, each read for what it tracks.
    std::vector<std::wstring>* gitEntries = nullptr;
};
BOOL CollectArtifacts(const std::wstring& folder, DeletePlan& mainPlan, BOOL deleteSuo,
                      ProtectedList& protectedList, WalkTop top = WalkTop::Subfolder, WALK_EXTRAS* extras = nullptr);

// The folders removed when empty: "Release", "x64" and "arm64" (any case).
// The walk plans them where it meets them; the ancestor sweep adds those that
// lie above planned items.
bool IsSweptFolderName(const wchar_t* name);

// The Recycle Bin's own store, which no walk enters or plans: a folder named
// "$Recycle.Bin" (or "RECYCLER", "RECYCLED" of older systems), any case, at
// any depth, and, where the system's Recycle Bin is the desktop's trash
// folder (Wine), that folder. `parent` is the folder that lists `name`.
bool IsRecycleBinStore(std::wstring_view parent, const wchar_t* name);

// TRUE when `parentFolder` holds a sub-folder named `name` (case-insensitive);
// `outPath` gets parent + '\' + the listed name, or "" when FALSE.
BOOL FindSubfolder(const std::wstring& parentFolder, const wchar_t* name, std::wstring& outPath);
