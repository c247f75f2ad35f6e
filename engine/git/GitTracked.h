#pragma once
// What git tracks in a working tree: the working trees themselves (a folder
// whose .git is a git folder, or a file naming one, as worktrees and
// submodules have), read from their index files without any git program, and
// the answer to "does git track this path?" for each of them.
#include <windows.h>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "support/ByteKeySet.h"

class CTrackedTreeBuilder;

// A working tree and where its repository lies.
struct GIT_WORKTREE {
    std::wstring root;        // canonical: the folder that holds .git
    std::wstring gitDir;      // the git folder of this working tree (its index, HEAD)
    std::wstring commonDir;   // the folder it shares with the other worktrees (config, objects); often gitDir
};

enum class GitLookup {
    None,     // no working tree there
    Found,
    Broken,   // a .git file that names no git folder (kErrorGitLinkBroken)
};

// `dotGit`, an entry named .git: Found when it is a git folder (one that holds
// HEAD) or a file that names one ("gitdir: PATH", relative to its own folder;
// a path from the root without a drive is on the file's drive); None for a
// folder that holds no repository; Broken for a file that names none, which
// `failedFile` then names.
GitLookup OpenWorkTree(const std::wstring& dotGit, GIT_WORKTREE& worktree, std::wstring& failedFile);

// The working tree that holds `folder`: `folder` itself or the nearest folder
// above it with a .git that OpenWorkTree finds.
GitLookup FindEnclosingWorkTree(const std::wstring& folder, GIT_WORKTREE& worktree, std::wstring& failedFile);

// The paths that one working tree's index tracks. A path is asked for by its
// key (RelativeKey): the part below the root, '/' between names, in UTF-8 as
// git keeps it, case folded when the repository ignores case (core.ignorecase,
// true unless the repository's configuration says false, as on Windows).
class TrackedTree {
public:
    // An empty tree; ReadGitIndex fills it through its builder.
    TrackedTree(std::wstring root, std::wstring indexPath, bool ignoreCase);

    const std::wstring& Root() const noexcept { return m_root; }          // canonical
    const std::wstring& RootKey() const noexcept { return m_rootKey; }    // FoldPathCase(Root())
    const std::wstring& IndexPath() const noexcept { return m_indexPath; }
    bool IgnoreCase() const noexcept { return m_ignoreCase; }
    size_t Entries() const noexcept { return m_entries; }
    size_t MemoryBytes() const noexcept;

    // The key of `relative` (a path below the root, '\' or '/' between names,
    // already case folded when the tree ignores case).
    static std::string RelativeKey(std::wstring_view relative);

    struct ANSWER {
        bool tracked = false;   // an entry names the file, or the path lies in a folder tracked whole
        bool below = false;     // a folder: some entry lies below it
    };
    // The repository's own .git stays with its working tree, and so does
    // everything in a folder that an entry tracks whole: a sparse index's
    // directory entry, a submodule's folder (unless the submodule's own index
    // answers for it).
    ANSWER Look(std::string_view key, bool isFolder) const;

private:
    friend class CTrackedTreeBuilder;
    bool TrackedWhole(std::string_view key) const;

    std::wstring m_root, m_rootKey, m_indexPath;
    bool m_ignoreCase;
    size_t m_entries = 0;
    ByteKeySet m_files;     // files and symbolic links
    ByteKeySet m_folders;   // every folder above an entry ("" the root)
    ByteKeySet m_whole;     // folders tracked whole
};

// The trees read in one run, each index once, whatever the number of
// solution folders in its working tree.
class TrackedTreeCache {
public:
    TrackedTreeCache() = default;
    TrackedTreeCache(const TrackedTreeCache&) = delete;
    TrackedTreeCache& operator=(const TrackedTreeCache&) = delete;
    ~TrackedTreeCache();

    // Starts reading the tree of `worktree` on a thread of its own, so that
    // it is read while the caller walks the solution's folders; Load takes
    // it. Read at Load's call instead where no thread can be started.
    void Prefetch(const GIT_WORKTREE& worktree);

    // The tree of `worktree`, read now or earlier; null when its index (or its
    // shared index, or its configuration) cannot be read: `failedFile` and
    // the last error say which and why.
    std::shared_ptr<const TrackedTree> Load(const GIT_WORKTREE& worktree, std::wstring& failedFile);

    struct LOADED {
        std::shared_ptr<const TrackedTree> tree;   // null: failed
        std::wstring failedFile;
        DWORD error = 0;
    };

private:
    std::unordered_map<std::wstring, LOADED> m_loaded;                    // by the folded root
    std::unordered_map<std::wstring, std::future<LOADED>> m_pending;
};
