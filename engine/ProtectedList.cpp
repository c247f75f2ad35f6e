#include "engine/ProtectedList.h"

#include "support/PathUtil.h"

namespace {
std::wstring Key(const std::wstring& path) { return FoldPathCase(CanonicalPath(path)); }
}

ProtectedList::ProtectedList(std::initializer_list<ITEM_2_KEEP> entries)
{
    for (const ITEM_2_KEEP& e : entries) Add(e);
}

bool ProtectedList::Protects(const std::wstring& path, bool isFolder) const
{
    if (m_entries.empty()) return false;
    return (isFolder ? m_folders : m_files).count(Key(path)) != 0;
}

bool ProtectedList::HasEntryBelow(const std::wstring& path) const
{
    return !m_entries.empty() && m_ancestors.count(Key(path)) != 0;
}

ProtectedList::ANSWER ProtectedList::Look(const std::wstring& path, bool isFolder) const
{
    if (m_entries.empty()) return {};
    const std::wstring key = Key(path);
    return {(isFolder ? m_folders : m_files).count(key) != 0, isFolder && m_ancestors.count(key) != 0};
}

bool ProtectedList::Add(ITEM_2_KEEP entry)
{
    entry.path = CanonicalPath(entry.path);
    std::wstring key = FoldPathCase(entry.path);
    if (!(entry.isFolder ? m_folders : m_files).insert(key).second) return false;
    // Every folder above the entry, up to the first one already known: all
    // above that one are known too, so adding stays linear.
    for (std::wstring parent = GetParentPath(key); !parent.empty(); parent = GetParentPath(parent)) {
        if (parent.size() == 2 && parent[1] == L':') parent.push_back(L'\\');   // "C:" is the root "C:\"
        if (!m_ancestors.insert(parent).second) break;
        if (parent.size() == 3 && parent[1] == L':') break;
    }
    m_entries.push_back(std::move(entry));
    return true;
}
