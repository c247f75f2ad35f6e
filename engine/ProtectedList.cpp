#include "engine/ProtectedList.h"

#include "support/PathUtil.h"

ProtectedList::ProtectedList(std::initializer_list<ITEM_2_KEEP> entries)
{
    for (const ITEM_2_KEEP& e : entries) Add(e);
}

bool ProtectedList::Protects(const std::wstring& path, bool isFolder) const
{
    const int kind = isFolder ? 1 : 0;
    for (const ITEM_2_KEEP& keep : m_entries)
        if (keep.isFolder == kind && PathsEqual(keep.path, path)) return true;
    return false;
}
