#include "engine/records/ProtectedList.h"

#include <algorithm>

#include "engine/git/GitTracked.h"
#include "support/PathUtil.h"

namespace {

// The length of `root`'s part of `key` when `key` is `root` or lies below it (with
// the separator after it), else npos. Both are folded.
size_t PrefixLength(const std::wstring& key, const std::wstring& root)
{
    if (key.size() < root.size() || key.compare(0, root.size(), root) != 0) return std::wstring::npos;
    if (key.size() == root.size()) return root.size();
    if (root.back() == L'\\') return root.size();   // a drive root's own separator
    return key[root.size()] == L'\\' ? root.size() + 1 : std::wstring::npos;
}
}

ProtectedList::ProtectedList(std::initializer_list<ITEM_2_KEEP> entries)
{
    for (const ITEM_2_KEEP& e : entries) Add(e);
}

bool ProtectedList::Protects(const std::wstring& path, bool isFolder) const
{
    if (m_entries.empty() && m_trees.empty()) return false;
    return Look(path, isFolder).protects;
}

bool ProtectedList::HasEntryBelow(const std::wstring& path) const
{
    if (m_entries.empty() && m_trees.empty()) return false;
    return Look(path, true).entryBelow;
}

ProtectedList::ANSWER ProtectedList::Look(const std::wstring& path, bool isFolder) const
{
    if (m_entries.empty() && m_trees.empty()) return {};
    const std::wstring canonical = CanonicalPath(path);
    return LookCanonical(canonical, FoldPathCase(canonical), isFolder);
}

ProtectedList::ANSWER ProtectedList::LookCanonical(const std::wstring& canonical, const std::wstring& key,
                                                   bool isFolder) const
{
    if (m_entries.empty() && m_trees.empty()) return {};
    ANSWER answer;
    if (!m_entries.empty()) {
        answer.protects = (isFolder ? m_folders : m_files).count(key) != 0;
        answer.entryBelow = isFolder && m_ancestors.count(key) != 0;
        if (answer.protects) {
            answer.reason = KeepReason::DoNotDelete;
            return answer;
        }
    }
    if (m_trees.empty()) return answer;
    const ANSWER tracked = LookTracked(canonical, key, isFolder);
    answer.protects = tracked.protects;
    answer.entryBelow = answer.entryBelow || tracked.entryBelow;
    answer.reason = tracked.reason;
    return answer;
}

ProtectedList::ANSWER ProtectedList::LookTracked(const std::wstring& path, bool isFolder) const
{
    if (m_trees.empty()) return {};
    const std::wstring canonical = CanonicalPath(path);
    return LookTracked(canonical, FoldPathCase(canonical), isFolder);
}

ProtectedList::ANSWER ProtectedList::LookTracked(const std::wstring& canonical, const std::wstring& key,
                                                 bool isFolder) const
{
    ANSWER answer;
    // A folder above a working tree holds at least that tree's .git.
    answer.entryBelow = isFolder && m_treeAncestors.count(key) != 0;
    for (const std::shared_ptr<const TrackedTree>& tree : m_trees) {
        const size_t prefix = PrefixLength(key, tree->RootKey());
        if (prefix == std::wstring::npos) continue;
        // The innermost working tree answers: a submodule's own index, not its superproject's.
        const std::wstring& spelling = tree->IgnoreCase() ? key : canonical;
        const TrackedTree::ANSWER found =
            tree->Look(TrackedTree::RelativeKey(std::wstring_view(spelling).substr(prefix)), isFolder);
        answer.protects = found.tracked;
        answer.entryBelow = answer.entryBelow || found.below;
        if (found.tracked) answer.reason = KeepReason::Tracked;
        break;
    }
    return answer;
}

bool ProtectedList::AddTracked(std::shared_ptr<const TrackedTree> tree)
{
    if (!tree) return false;
    for (const std::shared_ptr<const TrackedTree>& known : m_trees)
        if (known->RootKey() == tree->RootKey()) return false;
    for (std::wstring parent = GetParentPath(tree->RootKey()); !parent.empty(); parent = GetParentPath(parent)) {
        if (parent.size() == 2 && parent[1] == L':') parent.push_back(L'\\');   // "C:" is the root "C:\"
        if (!m_treeAncestors.insert(parent).second) break;
        if (parent.size() == 3 && parent[1] == L':') break;
    }
    m_trees.push_back(std::move(tree));
    std::stable_sort(m_trees.begin(), m_trees.end(), [](const auto& a, const auto& b) {
        return a->RootKey().size() > b->RootKey().size();
    });
    return true;
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
