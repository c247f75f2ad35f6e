#include "support/ByteKeySet.h"

#include <cstring>

void ByteKeySet::Reserve(std::size_t keys, std::size_t bytes)
{
    m_bytes.reserve(bytes);
    m_starts.reserve(keys + 1);
    m_hashes.reserve(keys);
    std::size_t slots = 16;
    while (slots < 2 * keys) slots *= 2;
    if (slots > m_slots.size()) Rehash(slots);
}

std::uint32_t ByteKeySet::Hash(std::string_view key) noexcept
{
    // Eight bytes a step, each step mixed by a multiplication: paths that
    // differ only near their end still spread over the table.
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ (key.size() * 0xFF51AFD7ED558CCDull);
    const char* p = key.data();
    std::size_t n = key.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (n) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = (h ^ word) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0xFF51AFD7ED558CCDull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::string_view ByteKeySet::Key(std::size_t index) const noexcept
{
    return std::string_view(m_bytes).substr(m_starts[index], m_starts[index + 1] - m_starts[index]);
}

std::size_t ByteKeySet::Find(std::string_view key, std::uint32_t hash) const noexcept
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = m_slots[slot];
        if (held == 0) return slot;
        if (m_hashes[held - 1] == hash && Key(held - 1) == key) return slot;
    }
}

void ByteKeySet::Rehash(std::size_t slots)
{
    m_slots.assign(slots, 0);
    const std::size_t mask = slots - 1;
    for (std::size_t i = 0; i < m_hashes.size(); ++i) {
        std::size_t slot = m_hashes[i] & mask;
        while (m_slots[slot]) slot = (slot + 1) & mask;
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

bool ByteKeySet::Insert(std::string_view key)
{
    if (2 * (m_hashes.size() + 1) > m_slots.size()) Rehash(m_slots.empty() ? 16 : 2 * m_slots.size());
    const std::uint32_t hash = Hash(key);
    const std::size_t slot = Find(key, hash);
    if (m_slots[slot]) return false;
    m_bytes.append(key);
    m_starts.push_back(static_cast<std::uint32_t>(m_bytes.size()));
    m_hashes.push_back(hash);
    m_slots[slot] = static_cast<std::uint32_t>(m_hashes.size());
    return true;
}

bool ByteKeySet::Contains(std::string_view key) const
{
    if (m_hashes.empty()) return false;
    return m_slots[Find(key, Hash(key))] != 0;
}

std::size_t ByteKeySet::MemoryBytes() const noexcept
{
    return m_bytes.capacity() + 4 * (m_starts.capacity() + m_hashes.capacity() + m_slots.capacity());
}
