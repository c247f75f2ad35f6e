#pragma once
// A set of byte strings kept in one block of memory: a key costs its bytes and
// three 32-bit words or so, whatever its length, and a lookup is one hash and,
// as a rule, one comparison. Built for hundreds of thousands of paths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ByteKeySet {
public:
    // Room for `keys` keys of `bytes` bytes in all, so that filling the set does not move it.
    void Reserve(std::size_t keys, std::size_t bytes);
    // False when the key is there already.
    bool Insert(std::string_view key);
    bool Contains(std::string_view key) const;

    std::size_t size() const noexcept { return m_hashes.size(); }
    bool empty() const noexcept { return m_hashes.empty(); }
    // What the set holds in memory.
    std::size_t MemoryBytes() const noexcept;

private:
    static std::uint32_t Hash(std::string_view key) noexcept;
    // The slot that holds `key`, or the free slot where it would go.
    std::size_t Find(std::string_view key, std::uint32_t hash) const noexcept;
    std::string_view Key(std::size_t index) const noexcept;
    void Rehash(std::size_t slots);

    std::string m_bytes;                       // the keys, one after another
    std::vector<std::uint32_t> m_starts{0};    // key i is m_bytes[m_starts[i], m_starts[i + 1])
    std::vector<std::uint32_t> m_hashes;       // key i's hash
    std::vector<std::uint32_t> m_slots;        // a key's index + 1; 0: free. Never more than half full
};
