#include "engine/git/GitIndex.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/Sha.h"
#include "support/UniqueHandle.h"

namespace {

// No index git writes comes near this; a larger file is not taken in whole.
constexpr unsigned long long kMaxIndexBytes = 1ull << 31;

constexpr std::size_t kHeaderBytes = 12;
// An entry's fixed part before its object name: ten 32-bit fields of stat data and mode.
constexpr std::size_t kStatBytes = 40;

constexpr std::uint16_t kFlagExtended = 0x4000;
constexpr std::uint16_t kFlagAssumeValid = 0x8000;
constexpr std::uint16_t kNameMask = 0x0FFF;
constexpr std::uint16_t kExtendedSkipWorktree = 0x4000;
constexpr std::uint16_t kExtendedIntentToAdd = 0x2000;
constexpr std::uint16_t kExtendedKnown = kExtendedSkipWorktree | kExtendedIntentToAdd;

std::uint16_t Big16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t Big32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint64_t Big64(const std::uint8_t* p) { return (std::uint64_t(Big32(p)) << 32) | Big32(p + 4); }

// A whole file in memory: mapped where the system maps it (no copy is made),
// else read.
class CFileBytes {
public:
    CFileBytes() = default;
    CFileBytes(const CFileBytes&) = delete;
    CFileBytes& operator=(const CFileBytes&) = delete;
    ~CFileBytes()
    {
        if (m_view) ::UnmapViewOfFile(m_view);
    }

    const std::uint8_t* data() const noexcept { return m_view ? m_view : m_copy.get(); }
    std::size_t size() const noexcept { return m_size; }

    // 0, or why the file could not be read (ERROR_FILE_NOT_FOUND when it is not there).
    DWORD Read(const std::wstring& path)
    {
        // Git replaces its index by renaming a new one over it: sharing delete
        // lets it do so while the old one is read.
        UniqueFile handle(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!handle) {
            const DWORD error = ::GetLastError();
            return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
        }
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle.get(), &size)) return ::GetLastError();
        if (static_cast<unsigned long long>(size.QuadPart) > kMaxIndexBytes) return ERROR_FILE_TOO_LARGE;
        m_size = static_cast<std::size_t>(size.QuadPart);
        if (m_size == 0) return 0;
        if (UniqueKernel mapping(::CreateFileMappingW(handle.get(), nullptr, PAGE_READONLY, 0, 0, nullptr)); mapping) {
            m_view = static_cast<const std::uint8_t*>(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, m_size));
            if (m_view) return 0;
        }
        m_copy.reset(new (std::nothrow) std::uint8_t[m_size]);
        if (!m_copy) return ERROR_OUTOFMEMORY;
        std::size_t got = 0;
        while (got < m_size) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(m_size - got, 1u << 26));
            DWORD read = 0;
            if (!::ReadFile(handle.get(), m_copy.get() + got, want, &read, nullptr)) return ::GetLastError();
            if (read == 0) break;   // shorter than it was a moment ago: what is there is judged
            got += read;
        }
        m_size = got;
        return 0;
    }

private:
    const std::uint8_t* m_view = nullptr;
    std::unique_ptr<std::uint8_t[]> m_copy;
    std::size_t m_size = 0;
};

bool AllZero(const std::uint8_t* p, std::size_t n)
{
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// The "link" extension of a split index, as it stands in the file.
struct LINK_EXTENSION {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool present = false;
};

// One index file taken apart; its entries went to a sink.
struct PARSED_INDEX {
    std::uint32_t version = 0;
    bool sparse = false;
    LINK_EXTENSION link;
    const std::uint8_t* checksum = nullptr;   // the hash at the file's end
    std::size_t entries = 0;
    std::size_t emptyNames = 0;               // allowed only where a split index replaces an entry
};

// Keeps the entries of an index file, for merging with a split index's.
class CCollectingSink : public GitIndexSink {
public:
    explicit CCollectingSink(GIT_INDEX& index) : m_index(index) {}
    void Begin(std::size_t entries, std::size_t nameBytes) override
    {
        m_index.entries.clear();
        m_index.names.clear();
        m_index.entries.reserve(entries);
        m_index.names.reserve(nameBytes);
    }
    void Entry(std::string_view name, const GIT_INDEX_ENTRY& entry) override
    {
        GIT_INDEX_ENTRY e = entry;
        e.nameOffset = static_cast<std::uint32_t>(m_index.names.size());
        e.nameLength = static_cast<std::uint32_t>(name.size());
        m_index.names.append(name);
        m_index.entries.push_back(e);
    }

private:
    GIT_INDEX& m_index;
};

// Takes the entries and extensions of one index file apart. 0, or the
// kErrorGitIndex* code of what is wrong; a file that runs out before its
// entries and extensions do is cut off, whatever else is wrong with it.
class CIndexParser {
public:
    CIndexParser(const std::uint8_t* data, std::size_t size, std::size_t hashBytes)
        : m_data(data), m_size(size), m_hashBytes(hashBytes)
    {
    }

    DWORD Parse(GitIndexSink& sink, PARSED_INDEX& out)
    {
        if (m_size < 4) return kErrorGitIndexCutOff;
        if (std::memcmp(m_data, "DIRC", 4) != 0) return kErrorGitIndexMalformed;
        if (m_size < kHeaderBytes) return kErrorGitIndexCutOff;
        const std::uint32_t version = Big32(m_data + 4);
        if (version < 2 || version > 4) return kErrorGitIndexVersion;
        if (m_size < kHeaderBytes + m_hashBytes) return kErrorGitIndexCutOff;
        m_end = m_size - m_hashBytes;
        out.version = version;
        out.checksum = m_data + m_end;

        // Git may write the index without its checksum (index.skipHash): the
        // hash is all zeros then, and only the structure is checked.
        bool checksumMatches = true;
        if (!AllZero(out.checksum, m_hashBytes)) {
            if (m_hashBytes == kGitSha1Bytes) {
                const Sha1Digest digest = Sha1(m_data, m_end);
                checksumMatches = std::memcmp(digest.data(), out.checksum, digest.size()) == 0;
            } else {
                const Sha256Digest digest = Sha256(m_data, m_end);
                checksumMatches = std::memcmp(digest.data(), out.checksum, digest.size()) == 0;
            }
        }
        const DWORD structure = ParseBody(Big32(m_data + 8), sink, out);
        if (!checksumMatches) return structure == kErrorGitIndexCutOff ? structure : kErrorGitIndexChecksum;
        return structure;
    }

private:
    DWORD ParseBody(std::uint32_t count, GitIndexSink& sink, PARSED_INDEX& out)
    {
        // However many entries the header claims, each takes some bytes; the
        // paths of versions 2 and 3 take what the fixed parts leave.
        const std::size_t fixed = kStatBytes + m_hashBytes + 2;
        const std::size_t entries = std::min<std::size_t>(count, m_end / (fixed + 2));
        sink.Begin(entries, out.version < 4 ? m_end - entries * fixed : m_end);
        std::size_t pos = kHeaderBytes;
        std::string previous;   // version 4: the path of the entry before
        size_t directories = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (const DWORD error = ParseEntry(sink, out, pos, previous, directories)) return error;
        }
        out.entries = count;

        bool unknownRequired = false;
        while (pos < m_end) {
            if (m_end - pos < 8) return kErrorGitIndexCutOff;
            const std::uint8_t* signature = m_data + pos;
            const std::uint32_t size = Big32(m_data + pos + 4);
            pos += 8;
            if (size > m_end - pos) return kErrorGitIndexCutOff;
            // An extension whose name begins with a capital letter is optional.
            if (signature[0] >= 'A' && signature[0] <= 'Z') {
                // Cache tree, resolve undo, untracked cache, file system monitor, offset tables: nothing to keep.
            } else if (std::memcmp(signature, "link", 4) == 0) {
                out.link = {m_data + pos, size, true};
            } else if (std::memcmp(signature, "sdir", 4) == 0) {
                out.sparse = true;
            } else {
                unknownRequired = true;   // looked past, so that a cut-off file is still told as such
            }
            pos += size;
        }
        if (unknownRequired) return kErrorGitIndexExtension;
        // Directory entries only in an index that says it may hold them.
        if (directories && !out.sparse) return kErrorGitIndexMalformed;
        return 0;
    }

    DWORD ParseEntry(GitIndexSink& sink, PARSED_INDEX& out, std::size_t& pos, std::string& previous,
                     size_t& directories)
    {
        const std::size_t fixed = kStatBytes + m_hashBytes + 2;
        if (m_end - pos < fixed) return kErrorGitIndexCutOff;
        const std::uint8_t* entry = m_data + pos;
        const std::uint32_t mode = Big32(entry + 24);
        const std::uint16_t flags = Big16(entry + kStatBytes + m_hashBytes);
        std::size_t at = pos + fixed;
        std::uint16_t extended = 0;
        if (flags & kFlagExtended) {
            if (out.version < 3) return kErrorGitIndexMalformed;
            if (m_end - at < 2) return kErrorGitIndexCutOff;
            extended = Big16(m_data + at);
            at += 2;
            if (extended & ~kExtendedKnown) return kErrorGitIndexMalformed;
        }
        GIT_INDEX_ENTRY e;
        switch (mode >> 12) {
        case 010: e.kind = GitEntryKind::File; break;
        case 012: e.kind = GitEntryKind::Symlink; break;
        case 016: e.kind = GitEntryKind::Gitlink; break;
        case 004: e.kind = GitEntryKind::Directory; break;
        default: return kErrorGitIndexMalformed;
        }
        e.stage = static_cast<std::uint8_t>((flags >> 12) & 3);
        e.assumeUnchanged = (flags & kFlagAssumeValid) != 0;
        e.skipWorktree = (extended & kExtendedSkipWorktree) != 0;
        e.intentToAdd = (extended & kExtendedIntentToAdd) != 0;
        const std::size_t nameField = flags & kNameMask;   // 0xFFF: that long or longer

        std::string_view name;
        if (out.version < 4) {
            const std::uint8_t* start = m_data + at;
            if (nameField < kNameMask) {
                if (m_end - at <= nameField) return kErrorGitIndexCutOff;
                if (start[nameField] != 0 || std::memchr(start, 0, nameField)) return kErrorGitIndexMalformed;
                name = std::string_view(reinterpret_cast<const char*>(start), nameField);
            } else {
                const void* nul = std::memchr(start, 0, m_end - at);
                if (!nul) return kErrorGitIndexCutOff;
                name = std::string_view(reinterpret_cast<const char*>(start),
                                        static_cast<const std::uint8_t*>(nul) - start);
                if (name.size() < kNameMask) return kErrorGitIndexMalformed;
            }
            // The entry is padded with one to eight zeros to a multiple of eight bytes.
            const std::size_t length = ((at - pos) + name.size() + 8) & ~static_cast<std::size_t>(7);
            if (m_end - pos < length) return kErrorGitIndexCutOff;
            pos += length;
        } else {
            // How many bytes of the previous path go, in the variable-width
            // encoding of offsets: seven bits a byte, the high bit set on all
            // but the last, and each further byte adds one before the shift.
            std::uint64_t strip = 0;
            for (bool first = true;; first = false) {
                if (at >= m_end) return kErrorGitIndexCutOff;
                const std::uint8_t byte = m_data[at++];
                if (!first) {
                    if (strip >= (std::uint64_t(1) << 56)) return kErrorGitIndexMalformed;
                    strip = ((strip + 1) << 7);
                }
                strip |= byte & 0x7F;
                if (!(byte & 0x80)) break;
            }
            const std::uint8_t* start = m_data + at;
            const void* nul = std::memchr(start, 0, m_end - at);
            if (!nul) return kErrorGitIndexCutOff;
            if (strip > previous.size()) return kErrorGitIndexMalformed;
            previous.resize(previous.size() - static_cast<std::size_t>(strip));
            previous.append(reinterpret_cast<const char*>(start), static_cast<const std::uint8_t*>(nul) - start);
            if (nameField < kNameMask ? previous.size() != nameField : previous.size() < kNameMask)
                return kErrorGitIndexMalformed;
            name = previous;
            pos = static_cast<const std::uint8_t*>(nul) - m_data + 1;
        }
        // Paths are relative to the top folder; only a directory entry's ends in '/'.
        if (!name.empty() && name.front() == '/') return kErrorGitIndexMalformed;
        if (e.kind == GitEntryKind::Directory) {
            if (name.empty() || name.back() != '/') return kErrorGitIndexMalformed;
            ++directories;
        }
        if (name.empty()) ++out.emptyNames;
        e.nameLength = static_cast<std::uint32_t>(name.size());
        sink.Entry(name, e);
        return 0;
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_hashBytes;
    std::size_t m_end = 0;   // where the entries and extensions end: the checksum follows
};

// An EWAH bitmap of the link extension, as the positions of its set bits
// (ascending), each below `limit`. 0, or kErrorGitIndexMalformed; `used` is
// how many bytes it took.
DWORD ReadEwahBitmap(const std::uint8_t* data, std::size_t size, std::size_t limit, std::vector<std::uint32_t>& bits,
                     std::size_t& used)
{
    if (size < 8) return kErrorGitIndexMalformed;
    const std::uint64_t bitCount = Big32(data);
    const std::uint64_t words = Big32(data + 4);
    if ((size - 8) / 8 < words || size - 8 - words * 8 < 4) return kErrorGitIndexMalformed;
    used = static_cast<std::size_t>(8 + words * 8 + 4);
    const std::uint8_t* word = data + 8;
    std::uint64_t position = 0;   // of the next bit in the stream
    auto set = [&](std::uint64_t bit) {
        if (bit >= bitCount) return true;   // beyond the bitmap's length: padding
        if (bit >= limit) return false;
        bits.push_back(static_cast<std::uint32_t>(bit));
        return true;
    };
    for (std::uint64_t i = 0; i < words;) {
        // A run-length word: the repeated bit, how many words of it, how many literal words follow.
        const std::uint64_t marker = Big64(word + 8 * i++);
        const std::uint64_t run = (marker >> 1) & 0xFFFFFFFFull;
        const std::uint64_t literals = marker >> 33;
        if (marker & 1) {
            const std::uint64_t last = std::min(position + run * 64, bitCount);
            for (std::uint64_t bit = position; bit < last; ++bit)
                if (!set(bit)) return kErrorGitIndexMalformed;
        }
        position += run * 64;
        if (literals > words - i) return kErrorGitIndexMalformed;
        for (std::uint64_t k = 0; k < literals; ++k, position += 64) {
            const std::uint64_t literal = Big64(word + 8 * i++);
            for (int b = 0; b < 64; ++b)
                if (((literal >> b) & 1) && !set(position + b)) return kErrorGitIndexMalformed;
        }
    }
    return 0;
}

std::wstring HexName(const std::uint8_t* hash, std::size_t bytes)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring hex;
    for (std::size_t i = 0; i < bytes; ++i) {
        hex.push_back(digits[hash[i] >> 4]);
        hex.push_back(digits[hash[i] & 15]);
    }
    return hex;
}

// Reads and takes apart one index file; 0 or the reason. A missing file is
// ERROR_FILE_NOT_FOUND.
DWORD ReadIndexFile(const std::wstring& path, std::size_t hashBytes, CFileBytes& bytes, GitIndexSink& sink,
                    PARSED_INDEX& parsed)
{
    if (const DWORD error = bytes.Read(path)) return error;
    return CIndexParser(bytes.data(), bytes.size(), hashBytes).Parse(sink, parsed);
}

// The final index of a split one, given to `sink`: the shared index's
// entries, less those the delete bitmap marks, those the replace bitmap marks
// replaced by the split index's first entries in order, then the split
// index's other entries.
DWORD MergeSplitIndex(const GIT_INDEX& own, const GIT_INDEX& shared, const std::vector<std::uint32_t>& deleted,
                      const std::vector<std::uint32_t>& replaced, GitIndexSink& sink)
{
    enum : std::uint8_t { kKept = 0, kDeleted = 1, kReplaced = 2 };
    std::vector<std::uint8_t> state(shared.entries.size(), kKept);
    for (std::uint32_t bit : deleted) state[bit] = kDeleted;
    for (std::uint32_t bit : replaced) {
        if (state[bit] == kDeleted) return kErrorGitIndexMalformed;   // both replaced and deleted
        state[bit] = kReplaced;
    }
    if (replaced.size() > own.entries.size()) return kErrorGitIndexMalformed;
    for (size_t i = replaced.size(); i < own.entries.size(); ++i)
        if (own.entries[i].nameLength == 0) return kErrorGitIndexMalformed;   // an added entry needs its path

    sink.Begin(shared.entries.size() - deleted.size() + own.entries.size() - replaced.size(),
               shared.names.size() + own.names.size());
    std::size_t next = 0;   // the split index's next replacing entry
    for (std::size_t i = 0; i < shared.entries.size(); ++i) {
        const GIT_INDEX_ENTRY& base = shared.entries[i];
        if (state[i] == kDeleted) continue;
        if (state[i] == kKept) {
            sink.Entry(shared.Name(base), base);
            continue;
        }
        // A replacing entry may leave its path empty: it is the one it replaces.
        const GIT_INDEX_ENTRY& replacement = own.entries[next++];
        const std::string_view name = own.Name(replacement);
        sink.Entry(name.empty() ? shared.Name(base) : name, replacement);
    }
    for (; next < own.entries.size(); ++next) sink.Entry(own.Name(own.entries[next]), own.entries[next]);
    return 0;
}

} // namespace

BOOL ReadGitIndex(const std::wstring& path, std::size_t hashBytes, GitIndexSink& sink, GIT_INDEX_FORMAT& format,
                  std::wstring& failedFile)
{
    format = GIT_INDEX_FORMAT{};
    failedFile = path;
    auto fail = [&](DWORD error) {
        ::SetLastError(error);
        return FALSE;
    };
    CFileBytes bytes;
    PARSED_INDEX parsed;
    DWORD error = ReadIndexFile(path, hashBytes, bytes, sink, parsed);
    if (error == ERROR_FILE_NOT_FOUND) {
        // No index yet (a repository nothing was ever added to): nothing is tracked.
        sink.Begin(0, 0);
        failedFile.clear();
        ::SetLastError(0);
        return TRUE;
    }
    const LINK_EXTENSION link = parsed.link;
    if (!error && link.present && link.size < hashBytes) error = kErrorGitIndexMalformed;
    if (error) return fail(error);
    format.version = parsed.version;
    format.sparse = parsed.sparse;

    // Not split, or split without a shared index (its name all zeros): every
    // entry is here, and the sink has them.
    const bool split = link.present && !AllZero(link.data, hashBytes);
    GIT_INDEX own, shared;
    CFileBytes sharedBytes;
    PARSED_INDEX base;
    if (split) {
        // Taken again, to be merged: a split index holds few entries of its own.
        CCollectingSink collectOwn(own);
        CIndexParser(bytes.data(), bytes.size(), hashBytes).Parse(collectOwn, parsed);
        // The shared index lies beside the index, named after its own checksum.
        const std::wstring sharedPath = JoinPath(GetParentPath(path), L"sharedindex." + HexName(link.data, hashBytes));
        CCollectingSink collectShared(shared);
        error = ReadIndexFile(sharedPath, hashBytes, sharedBytes, collectShared, base);
        if (error == ERROR_FILE_NOT_FOUND) error = kErrorGitSharedIndexMissing;
        // A shared index is never split itself, and its checksum is its name.
        else if (!error && (base.link.present || (!AllZero(base.checksum, hashBytes) &&
                                                  std::memcmp(base.checksum, link.data, hashBytes) != 0)))
            error = kErrorGitIndexMalformed;
        if (error) {
            failedFile = sharedPath;
            return fail(error);
        }
        if (base.emptyNames) return fail(kErrorGitIndexMalformed);
    } else if (parsed.emptyNames) {
        return fail(kErrorGitIndexMalformed);
    }

    // The bitmaps name the shared index's entries; without one, they may name none.
    std::vector<std::uint32_t> deleted, replaced;
    if (link.present && link.size > hashBytes) {
        const std::size_t limit = shared.entries.size();
        const std::uint8_t* bitmaps = link.data + hashBytes;
        const std::size_t size = link.size - hashBytes;
        std::size_t used = 0, usedToo = 0;
        error = ReadEwahBitmap(bitmaps, size, limit, deleted, used);
        if (!error) error = ReadEwahBitmap(bitmaps + used, size - used, limit, replaced, usedToo);
        if (!error && used + usedToo != size) error = kErrorGitIndexMalformed;
    }
    if (!error && split) error = MergeSplitIndex(own, shared, deleted, replaced, sink);
    if (error) return fail(error);
    format.split = split;
    format.sparse = parsed.sparse || base.sparse;
    failedFile.clear();
    ::SetLastError(0);
    return TRUE;
}

BOOL ReadGitIndex(const std::wstring& path, std::size_t hashBytes, GIT_INDEX& index, std::wstring& failedFile)
{
    index = GIT_INDEX{};
    CCollectingSink collect(index);
    GIT_INDEX_FORMAT format;
    const BOOL ok = ReadGitIndex(path, hashBytes, collect, format, failedFile);
    const DWORD error = ::GetLastError();
    index.version = format.version;
    index.split = format.split;
    index.sparse = format.sparse;
    if (!ok) index = GIT_INDEX{};
    ::SetLastError(error);
    return ok;
}
