#pragma once
// Reader of git's index file ($GIT_DIR/index) as git's own description of the
// format gives it: versions 2, 3 and 4 (prefix-compressed paths), the split
// index (the "link" extension and the shared index file beside the index) and
// the sparse index's directory entries. Only what an entry names is kept; the
// file is never written. Nothing here knows about solutions or clean-ups.
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What an entry stands for, by the type bits of its mode.
enum class GitEntryKind : std::uint8_t {
    File,        // a regular file
    Symlink,     // a symbolic link
    Gitlink,     // a submodule's folder
    Directory,   // a sparse index's folder: everything below it is tracked
};

struct GIT_INDEX_ENTRY {
    std::uint32_t nameOffset = 0;   // the path in GIT_INDEX::names
    std::uint32_t nameLength = 0;
    GitEntryKind kind = GitEntryKind::File;
    std::uint8_t stage = 0;         // 1-3 during a merge
    bool assumeUnchanged = false;   // the assume-valid bit
    bool skipWorktree = false;
    bool intentToAdd = false;
};

struct GIT_INDEX {
    std::uint32_t version = 0;   // 0 when there is no index file
    bool split = false;          // part of its entries came from a shared index
    bool sparse = false;         // it may hold directory entries
    std::string names;           // every entry's path as git writes it ('/' between names), one after another
    std::vector<GIT_INDEX_ENTRY> entries;

    // An entry's path; a directory entry's ends in '/'.
    std::string_view Name(const GIT_INDEX_ENTRY& e) const
    {
        return std::string_view(names).substr(e.nameOffset, e.nameLength);
    }
};

// Object names and checksums of SHA-1 and of SHA-256 repositories.
inline constexpr std::size_t kGitSha1Bytes = 20;
inline constexpr std::size_t kGitSha256Bytes = 32;

// What ReadGitIndex gives each entry of the final index to, in order.
class GitIndexSink {
public:
    virtual ~GitIndexSink() = default;
    // Before the entries: about how many there are, and how many bytes their
    // paths take at most. Said again when the entries are given anew (a split
    // index's, merged with its shared index's): what came before counts no more.
    virtual void Begin(std::size_t entries, std::size_t nameBytes) = 0;
    // `entry`'s nameOffset means nothing here; `name` is its path.
    virtual void Entry(std::string_view name, const GIT_INDEX_ENTRY& entry) = 0;
};

struct GIT_INDEX_FORMAT {
    std::uint32_t version = 0;   // 0 when there is no index file
    bool split = false;
    bool sparse = false;
};

// Reads the index file `path` of a repository whose object names have
// `hashBytes` bytes, whole, giving its entries to `sink`; a split index comes
// with the entries of its shared index. A missing index holds no entries
// (TRUE). FALSE when it exists but cannot be read (what the sink has then
// means nothing), with the reason as the last error (a system code, or one
// of the kErrorGitIndex* codes and kErrorGitSharedIndexMissing) and the file
// at fault (the index or its shared index) in `failedFile`.
BOOL ReadGitIndex(const std::wstring& path, std::size_t hashBytes, GitIndexSink& sink, GIT_INDEX_FORMAT& format,
                  std::wstring& failedFile);
// The same, keeping every entry in `index`.
BOOL ReadGitIndex(const std::wstring& path, std::size_t hashBytes, GIT_INDEX& index, std::wstring& failedFile);
