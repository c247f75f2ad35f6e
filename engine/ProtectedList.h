#pragma once
// The paths that do-not-delete files name: the one answer to "must this stay?".
#include <windows.h>
#include <initializer_list>
#include <string>
#include <vector>

// One path named by a do-not-delete file.
struct ITEM_2_KEEP {
    int isFolder = 0;       // 1: an existing folder when the line was read; 0: an existing file
    std::wstring path;      // a folder's path never ends in a separator
};

class ProtectedList {
public:
    ProtectedList() = default;
    ProtectedList(std::initializer_list<ITEM_2_KEEP> entries);

    // True when an entry of the same kind names `path` (case ignored).
    bool Protects(const std::wstring& path, bool isFolder) const;

    // Appends an entry.
    void Add(ITEM_2_KEEP entry) { m_entries.push_back(std::move(entry)); }

    bool empty() const noexcept { return m_entries.empty(); }
    size_t size() const noexcept { return m_entries.size(); }
    // The entries in the order they were read.
    std::vector<ITEM_2_KEEP>::const_iterator begin() const noexcept { return m_entries.begin(); }
    std::vector<ITEM_2_KEEP>::const_iterator end() const noexcept { return m_entries.end(); }

private:
    std::vector<ITEM_2_KEEP> m_entries;
};
