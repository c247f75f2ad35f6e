#include "support/DirListing.h"

#include <atomic>
#include <vector>

#include "support/PathUtil.h"

namespace {
std::atomic<unsigned long long> g_listingsStarted{0};
}

unsigned long long DirListing::ListingsStarted() noexcept { return g_listingsStarted; }
void DirListing::ResetListingsStarted() noexcept { g_listingsStarted = 0; }

BOOL DirListing::Open(const std::wstring& folder)
{
    m_find.reset();
    m_havePending = false;
    m_endError = ERROR_NO_MORE_FILES;
    ++g_listingsStarted;
    if (TrimBlanks(folder).empty()) {
        // An empty path would list the current folder instead.
        m_endError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    const std::wstring pattern = JoinPath(LongPathForm(folder), L"*");
    // Basic information (no short names) and large fetches: the same entries and
    // attributes as a plain FindFirstFileW, with less work per entry.
    HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &m_data, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH);
    // Windows 6.0 knows neither the basic information level nor large fetches.
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER)
        h = ::FindFirstFileW(pattern.c_str(), &m_data);
    if (h == INVALID_HANDLE_VALUE) {
        m_endError = ::GetLastError();
        return FALSE;
    }
    m_find.reset(h);
    m_havePending = true;
    return TRUE;
}

BOOL DirListing::Next(const WIN32_FIND_DATAW*& entry)
{
    while (Advance(entry)) {
        if (!IsDotOrDotDot(*entry)) return TRUE;
    }
    return FALSE;
}

BOOL DirListing::Advance(const WIN32_FIND_DATAW*& entry)
{
    entry = nullptr;
    if (!m_find) return FALSE;
    if (m_havePending) {
        m_havePending = false;
        entry = &m_data;
        return TRUE;
    }
    if (::FindNextFileW(m_find.get(), &m_data)) {
        entry = &m_data;
        return TRUE;
    }
    m_endError = ::GetLastError();
    m_find.reset();
    ::SetLastError(m_endError);
    return FALSE;
}

TREE_TOTALS MeasureTree(const std::wstring& folder)
{
    TREE_TOTALS totals;
    const std::wstring base = NormalizeFolderPath(folder, FALSE);
    std::vector<std::wstring> subfolders;
    const LISTING_END end = ForEachEntry(base, [&](const WIN32_FIND_DATAW& e) {
        ++totals.items;
        if (DirListing::IsLink(e)) return;
        if (DirListing::IsDirectory(e)) subfolders.push_back(JoinPath(base, e.cFileName));
        else totals.bytes += DirListing::FileBytes(e);
    });
    if (end.Failed()) totals.error = end.error;
    // The listing is closed before the sub-folders are measured.
    for (const std::wstring& sub : subfolders) {
        const TREE_TOTALS inner = MeasureTree(sub);
        totals.items += inner.items;
        totals.bytes += inner.bytes;
        if (totals.Complete()) totals.error = inner.error;
    }
    return totals;
}
