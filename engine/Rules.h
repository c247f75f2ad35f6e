#pragma once
// The rule book: which files and folders of a solution folder are planned for
// deletion. Nothing here deletes anything.
#include <windows.h>
#include <string>
#include "engine/Plan.h"

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

// The main walk over `folder` and everything below it. Folders planned whole
// are looked through too (links never followed): every do-not-delete file in
// the tree is read into `protectedList`, and every planned item carries the
// bytes of the files it holds. `isSolutionFolder` exempts the top folder from
// the folder-name tests. FALSE with the error of the first listing that could
// not be started or broke off, or with the reading error of a do-not-delete
// file, whose path then goes to `extras`.
struct WALK_EXTRAS {
    std::wstring ageSkipFolder;   // in: a folder whose files do not count for newestKept (the .vs folder)
    std::wstring unreadableList;  // out: the do-not-delete file that could not be read
    ULONGLONG newestKept = 0;     // out: the latest write time of a file that stays
};
BOOL CollectArtifacts(const std::wstring& folder, DeletePlan& mainPlan, BOOL deleteSuo,
                      ProtectedList& protectedList, bool isSolutionFolder = false, WALK_EXTRAS* extras = nullptr);

// The folders removed when empty: "Release", "x64" and "arm64" (any case).
// The walk plans them where it meets them; the ancestor sweep adds those that
// lie above planned items.
bool IsSweptFolderName(const wchar_t* name);

// TRUE when `parentFolder` holds a sub-folder named `name` (case-insensitive);
// `outPath` gets parent + '\' + the listed name, or "" when FALSE.
BOOL FindSubfolder(const std::wstring& parentFolder, const wchar_t* name, std::wstring& outPath);
