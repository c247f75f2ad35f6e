#include "engine/git/GitTracked.h"

#include <cctype>
#include <new>
#include <cwctype>

#include "engine/git/GitIndex.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"
#include "support/Utf8.h"

namespace {

// A .git file, a commondir file or a configuration is small; more is not read.
constexpr DWORD kMaxSmallFileBytes = 1u << 20;

std::wstring Utf8ToWide(std::string_view text, bool strict = false)
{
    if (text.empty()) return {};
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int n = ::MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// 0 with the file's bytes, or why it could not be read (ERROR_FILE_NOT_FOUND: not there).
DWORD ReadSmallFile(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    UniqueFile file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return ::GetLastError();
    if (size.QuadPart > kMaxSmallFileBytes) return ERROR_FILE_TOO_LARGE;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return ::GetLastError();
    bytes.resize(read);
    return 0;
}

// The first line of a small file, without its line end and trailing blanks.
std::string FirstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

bool IsRoot(const std::wstring& path)
{
    if (path.size() == 3 && path[1] == L':' && path[2] == L'\\') return true;
    // \\server\share
    if (path.starts_with(L"\\\\")) {
        const size_t server = path.find(L'\\', 2);
        return server == std::wstring::npos || path.find(L'\\', server + 1) == std::wstring::npos;
    }
    return false;
}

// A path that a git file names, as Windows reads it from `base`: relative
// to `base`, or full; one from the root without a drive (as git on other
// systems writes them) is on `base`'s drive.
std::wstring ResolveGitPath(const std::wstring& base, const std::string& text)
{
    std::wstring path = Utf8ToWide(text);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    if (path.empty()) return {};
    const bool hasDrive = path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]);
    if (hasDrive || path.starts_with(L"\\\\")) return CanonicalPath(path);
    if (path[0] == L'\\') {
        std::wstring drive;
        if (base.size() >= 2 && base[1] == L':') drive = base.substr(0, 2);
        else if (base.starts_with(L"\\\\")) {
            // The server and share of a network path.
            const size_t server = base.find(L'\\', 2);
            const size_t share = server == std::wstring::npos ? server : base.find(L'\\', server + 1);
            drive = base.substr(0, share);
        }
        return CanonicalPath(drive + path);
    }
    return CanonicalPath(JoinPath(base, path));
}

// A git folder holds HEAD.
bool IsGitFolder(const std::wstring& folder)
{
    if (folder.empty()) return false;
    const DWORD head = ::GetFileAttributesW(LongPathForm(JoinPath(folder, L"HEAD")).c_str());
    const DWORD self = ::GetFileAttributesW(LongPathForm(folder).c_str());
    return head != INVALID_FILE_ATTRIBUTES && !(head & FILE_ATTRIBUTE_DIRECTORY) && self != INVALID_FILE_ATTRIBUTES &&
           (self & FILE_ATTRIBUTE_DIRECTORY);
}

// What the configuration says that matters for reading the index.
struct GIT_SETTINGS {
    bool ignoreCase = true;     // as git sets it on Windows; a repository made elsewhere says false
    std::string objectFormat;   // "" (SHA-1), "sha1" or "sha256"
};

// A value as git's configuration files write it: blanks around it trimmed,
// quotes and escapes undone, a comment after it dropped.
std::string ConfigValue(std::string_view text)
{
    std::string value;
    bool quoted = false;
    size_t kept = 0;   // the length without trailing blanks outside quotes
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!quoted && (c == '#' || c == ';')) break;
        if (c == '"') {
            quoted = !quoted;
            kept = value.size();
            continue;
        }
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            value.push_back(next == 'n' ? '\n' : next == 't' ? '\t' : next == 'b' ? '\b' : next);
            kept = value.size();
            continue;
        }
        if ((c == ' ' || c == '\t') && !quoted && value.empty()) continue;
        value.push_back(c);
        if (quoted || (c != ' ' && c != '\t')) kept = value.size();
    }
    value.resize(kept);
    return value;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// Git's booleans; a name without a value is true. Anything else counts as set.
bool ConfigBool(const std::string& value, bool present)
{
    if (!present) return true;
    const std::string v = Lower(value);
    return !(v.empty() || v == "false" || v == "no" || v == "off" || v == "0");
}

// Reads the two settings from a configuration file's text; later files override earlier ones.
void ApplyConfig(const std::string& text, GIT_SETTINGS& settings)
{
    std::string section;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            std::string_view header = line.substr(1, close - 1);
            // [core], [core "sub"], [core.sub]: only a section without subsection is read.
            section = header.find_first_of(" \t\".") == std::string_view::npos ? Lower(header) : std::string();
            line.remove_prefix(close + 1);
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        }
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        size_t nameEnd = 0;
        while (nameEnd < line.size() && (std::isalnum(static_cast<unsigned char>(line[nameEnd])) || line[nameEnd] == '-'))
            ++nameEnd;
        const std::string name = Lower(line.substr(0, nameEnd));
        std::string_view rest = line.substr(nameEnd);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
        const bool hasValue = !rest.empty() && rest.front() == '=';
        const std::string value = hasValue ? ConfigValue(rest.substr(1)) : std::string();
        if (section == "core" && name == "ignorecase") settings.ignoreCase = ConfigBool(value, hasValue);
        else if (section == "extensions" && name == "objectformat") settings.objectFormat = Lower(value);
    }
}

// A name from the index as a key, in `key`: case folded (when asked) as
// FoldPathCase folds the names that Windows lists.
void FoldedKey(std::string_view name, bool ignoreCase, std::string& key)
{
    key.assign(name);
    if (!ignoreCase) return;
    bool ascii = true;
    for (char& c : key) {
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
        else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    if (ascii) return;
    const std::wstring wide = Utf8ToWide(name, true);
    // Not UTF-8: no name that Windows lists can be it; it stays as it is.
    if (!wide.empty()) key = Utf8FromWide(FoldPathCase(wide));
}

bool IsDotGit(std::string_view key)
{
    if (key.size() < 4 || (key.size() > 4 && key[4] != '/')) return false;
    return key[0] == '.' && (key[1] | 0x20) == 'g' && (key[2] | 0x20) == 'i' && (key[3] | 0x20) == 't';
}

} // namespace

GitLookup OpenWorkTree(const std::wstring& dotGit, GIT_WORKTREE& worktree, std::wstring& failedFile)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(dotGit).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GitLookup::None;
    GIT_WORKTREE found;
    found.root = CanonicalPath(GetParentPath(dotGit));
    if (found.root.size() == 2 && found.root[1] == L':') found.root.push_back(L'\\');
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A folder named .git that holds no repository is nobody's: git looks further up too.
        if (!IsGitFolder(dotGit)) return GitLookup::None;
        found.gitDir = CanonicalPath(dotGit);
    } else {
        std::string text;
        const std::string prefix = "gitdir:";
        std::string line;
        if (ReadSmallFile(dotGit, text) == 0) line = FirstLine(text);
        if (line.rfind(prefix, 0) == 0) {
            size_t at = prefix.size();
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
            found.gitDir = ResolveGitPath(found.root, line.substr(at));
        }
        if (!IsGitFolder(found.gitDir)) {
            failedFile = dotGit;
            ::SetLastError(kErrorGitLinkBroken);
            return GitLookup::Broken;
        }
    }
    // A worktree's git folder names the repository's common folder.
    std::string common;
    found.commonDir = found.gitDir;
    if (ReadSmallFile(JoinPath(found.gitDir, L"commondir"), common) == 0 && !FirstLine(common).empty())
        found.commonDir = ResolveGitPath(found.gitDir, FirstLine(common));
    worktree = std::move(found);
    return GitLookup::Found;
}

GitLookup FindEnclosingWorkTree(const std::wstring& folder, GIT_WORKTREE& worktree, std::wstring& failedFile)
{
    std::wstring current = CanonicalPath(NormalizeFolderPath(folder, FALSE));
    if (current.size() == 2 && current[1] == L':') current.push_back(L'\\');
    while (!current.empty()) {
        const GitLookup found = OpenWorkTree(JoinPath(current, L".git"), worktree, failedFile);
        if (found != GitLookup::None) return found;
        if (IsRoot(current)) break;
        std::wstring parent = GetParentPath(current);
        if (parent.size() == 2 && parent[1] == L':') parent.push_back(L'\\');   // "C:" is the root "C:\"
        if (parent.size() >= current.size()) break;
        current = std::move(parent);
    }
    return GitLookup::None;
}

TrackedTree::TrackedTree(std::wstring root, std::wstring indexPath, bool ignoreCase)
    : m_root(std::move(root)), m_rootKey(FoldPathCase(m_root)), m_indexPath(std::move(indexPath)), m_ignoreCase(ignoreCase)
{
}

// Fills a tree with the entries of its index as the reader gives them.
class CTrackedTreeBuilder : public GitIndexSink {
public:
    explicit CTrackedTreeBuilder(TrackedTree& tree) : m_tree(tree) {}

    void Begin(std::size_t entries, std::size_t nameBytes) override
    {
        m_tree.m_files = ByteKeySet();
        m_tree.m_folders = ByteKeySet();
        m_tree.m_whole = ByteKeySet();
        m_tree.m_entries = 0;
        m_tree.m_files.Reserve(entries, nameBytes);
        m_lastFolder.clear();
    }

    void Entry(std::string_view name, const GIT_INDEX_ENTRY& entry) override
    {
        if (m_tree.m_entries++ == 0) m_tree.m_folders.Insert("");
        FoldedKey(name, m_tree.m_ignoreCase, m_key);
        switch (entry.kind) {
        case GitEntryKind::File:
        case GitEntryKind::Symlink:
            m_tree.m_files.Insert(m_key);
            break;
        case GitEntryKind::Directory:
            m_key.pop_back();   // its '/'
            [[fallthrough]];
        case GitEntryKind::Gitlink:
            m_tree.m_whole.Insert(m_key);
            m_tree.m_folders.Insert(m_key);
            break;
        }
        // Every folder above the entry, up to the first one already known:
        // the entries come sorted, so that is most often the entry's own,
        // which the entry before had too.
        const size_t slash = m_key.rfind('/');
        const std::string_view folder = std::string_view(m_key).substr(0, slash == std::string::npos ? 0 : slash);
        if (folder.empty() || folder == m_lastFolder) return;
        m_lastFolder.assign(folder);
        for (size_t end = slash; end != std::string::npos && end > 0; end = m_key.rfind('/', end - 1))
            if (!m_tree.m_folders.Insert(std::string_view(m_key).substr(0, end))) break;
    }

private:
    TrackedTree& m_tree;
    std::string m_key, m_lastFolder;
};

size_t TrackedTree::MemoryBytes() const noexcept
{
    return sizeof(*this) + m_files.MemoryBytes() + m_folders.MemoryBytes() + m_whole.MemoryBytes();
}

std::string TrackedTree::RelativeKey(std::wstring_view relative)
{
    std::string key;
    key.reserve(relative.size());
    for (wchar_t c : relative) {
        if (c >= 0x80) {
            std::string utf8 = Utf8FromWide(relative);
            for (char& b : utf8)
                if (b == '\\') b = '/';
            return utf8;
        }
        key.push_back(c == L'\\' ? '/' : static_cast<char>(c));
    }
    return key;
}

bool TrackedTree::TrackedWhole(std::string_view key) const
{
    if (IsDotGit(key)) return true;
    if (m_whole.empty()) return false;
    // From the top down: a folder with nothing tracked below it cannot hold one tracked whole.
    for (size_t from = 0;;) {
        const size_t slash = key.find('/', from);
        const std::string_view prefix = key.substr(0, slash);
        if (m_whole.Contains(prefix)) return true;
        if (slash == std::string_view::npos || !m_folders.Contains(prefix)) return false;
        from = slash + 1;
    }
}

TrackedTree::ANSWER TrackedTree::Look(std::string_view key, bool isFolder) const
{
    if (key.empty()) return {false, isFolder};   // the root: its .git at least lies below it
    if (TrackedWhole(key)) return {true, isFolder};
    if (isFolder) return {false, m_folders.Contains(key)};
    return {m_files.Contains(key), false};
}

namespace {

TrackedTreeCache::LOADED ReadTrackedTreeOrThrow(const GIT_WORKTREE& worktree);

// Reads a working tree's configuration and index; touches nothing shared, so
// that it may run on a thread of its own. An index too large for the memory
// left fails like one that cannot be read.
TrackedTreeCache::LOADED ReadTrackedTree(const GIT_WORKTREE& worktree)
{
    try {
        return ReadTrackedTreeOrThrow(worktree);
    } catch (const std::bad_alloc&) {
        TrackedTreeCache::LOADED failed;
        failed.failedFile = JoinPath(worktree.gitDir, L"index");
        failed.error = ERROR_OUTOFMEMORY;
        return failed;
    }
}

TrackedTreeCache::LOADED ReadTrackedTreeOrThrow(const GIT_WORKTREE& worktree)
{
    TrackedTreeCache::LOADED result;
    auto fail = [&](const std::wstring& file, DWORD error) {
        result.failedFile = file;
        result.error = error;
        return result;
    };
    // The repository's configuration, then the worktree's own.
    GIT_SETTINGS settings;
    const std::wstring configs[] = {JoinPath(worktree.commonDir, L"config"), JoinPath(worktree.gitDir, L"config.worktree")};
    for (const std::wstring& config : configs) {
        std::string text;
        const DWORD error = ReadSmallFile(config, text);
        if (error == ERROR_FILE_NOT_FOUND) continue;
        if (error) return fail(config, error);
        ApplyConfig(text, settings);
    }
    size_t hashBytes = kGitSha1Bytes;
    if (settings.objectFormat == "sha256") hashBytes = kGitSha256Bytes;
    else if (!settings.objectFormat.empty() && settings.objectFormat != "sha1") return fail(configs[0], kErrorGitObjectFormat);

    const std::wstring indexPath = JoinPath(worktree.gitDir, L"index");
    auto tree = std::make_shared<TrackedTree>(worktree.root, indexPath, settings.ignoreCase);
    CTrackedTreeBuilder builder(*tree);
    GIT_INDEX_FORMAT format;
    std::wstring failed;
    if (!ReadGitIndex(indexPath, hashBytes, builder, format, failed)) return fail(failed, ::GetLastError());
    result.tree = std::move(tree);
    return result;
}

} // namespace

TrackedTreeCache::~TrackedTreeCache()
{
    // A tree still being read is waited for: its thread uses nothing of the
    // cache. The caller's last error stays as it was.
    const DWORD error = ::GetLastError();
    for (auto& [key, pending] : m_pending)
        if (pending.valid()) pending.wait();
    ::SetLastError(error);
}

void TrackedTreeCache::Prefetch(const GIT_WORKTREE& worktree)
{
    const std::wstring key = FoldPathCase(worktree.root);
    if (m_loaded.count(key) || m_pending.count(key)) return;
    try {
        m_pending.emplace(key, std::async(std::launch::async, ReadTrackedTree, worktree));
    } catch (const std::exception&) {
        // No thread to be had: Load reads it.
    }
}

std::shared_ptr<const TrackedTree> TrackedTreeCache::Load(const GIT_WORKTREE& worktree, std::wstring& failedFile)
{
    const std::wstring key = FoldPathCase(worktree.root);
    auto found = m_loaded.find(key);
    if (found == m_loaded.end()) {
        LOADED loaded;
        if (auto pending = m_pending.find(key); pending != m_pending.end()) {
            loaded = pending->second.get();
            m_pending.erase(pending);
        } else {
            loaded = ReadTrackedTree(worktree);
        }
        found = m_loaded.emplace(key, std::move(loaded)).first;
    }
    if (!found->second.tree) {
        failedFile = found->second.failedFile;
        ::SetLastError(found->second.error);
    }
    return found->second.tree;
}
