#pragma once
// The paths that do-not-delete files name, and the files that git tracks: the
// one answer to "must this stay?". Paths are compared in their canonical
// spelling with case folded, through hashed sets, so that a list of any
// length costs the same per question.
#include <windows.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class TrackedTree;

// Why a path stays.
enum class KeepReason {
    None,          // it does not
    DoNotDelete,   // a do-not-delete file names it, or is it
    Tracked,       // git tracks it (or it is a repository's .git)
};

// One path named by a do-not-delete file.
struct ITEM_2_KEEP {
    int isFolder = 0;       // 1: an existing folder when the line was read; 0: an existing file
    std::wstring path;      // canonical: a folder's path never ends in a separator
};

class ProtectedList {
public:
    ProtectedList() = default;
    ProtectedList(std::initializer_list<ITEM_2_KEEP> entries);

    // True when an entry of the same kind names `path`.
    bool Protects(const std::wstring& path, bool isFolder) const;

    // True when some entry lies anywhere below the folder `path`.
    bool HasEntryBelow(const std::wstring& path) const;

    // Both answers for one path at once.
    struct ANSWER {
        bool protects = false;     // an entry of the kind names it
        bool entryBelow = false;   // a folder: some entry lies below it
        KeepReason reason = KeepReason::None;   // why it stays (do-not-delete first)
    };
    ANSWER Look(const std::wstring& path, bool isFolder) const;
    // The same for a path already in its canonical spelling (CanonicalPath),
    // with `key` its folded key (FoldPathCase): nothing is spelled again.
    ANSWER LookCanonical(const std::wstring& canonical, const std::wstring& key, bool isFolder) const;
    // The answers of the working trees alone, whatever the do-not-delete files say.
    ANSWER LookTracked(const std::wstring& path, bool isFolder) const;

    // Makes what git tracks in a working tree protected; a working tree
    // inside another one answers for its own paths. False when it is there already.
    bool AddTracked(std::shared_ptr<const TrackedTree> tree);
    bool HasTracked() const noexcept { return !m_trees.empty(); }
    // The working trees, the innermost first.
    const std::vector<std::shared_ptr<const TrackedTree>>& TrackedTrees() const noexcept { return m_trees; }

    // Adds an entry in its canonical spelling unless one of the same kind
    // already names that path; false for such a duplicate.
    bool Add(ITEM_2_KEEP entry);

    // The do-not-delete entries: how many, and in the order they were read.
    bool empty() const noexcept { return m_entries.empty(); }
    size_t size() const noexcept { return m_entries.size(); }
    std::vector<ITEM_2_KEEP>::const_iterator begin() const noexcept { return m_entries.begin(); }
    std::vector<ITEM_2_KEEP>::const_iterator end() const noexcept { return m_entries.end(); }

private:
    std::vector<ITEM_2_KEEP> m_entries;
    std::unordered_set<std::wstring> m_files;       // folded keys
    std::unordered_set<std::wstring> m_folders;
    std::unordered_set<std::wstring> m_ancestors;   // every folder above an entry
    // Answers for a path whose canonical spelling and folded key are known.
    ANSWER LookTracked(const std::wstring& canonical, const std::wstring& key, bool isFolder) const;
    std::vector<std::shared_ptr<const TrackedTree>> m_trees;   // longest root first
    std::unordered_set<std::wstring> m_treeAncestors;          // every folder above a working tree's root
};
