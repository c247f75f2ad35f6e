#include "support/DirListing.h"

#include "support/PathUtil.h"

namespace {
thread_local unsigned long long t_listingsStarted = 0;
}

unsigned long long DirListing::ListingsStarted() noexcept { return t_listingsStarted; }
void DirListing::ResetListingsStarted() noexcept { t_listingsStarted = 0; }

BOOL DirListing::Open(const std::wstring& folder)
{
    m_find.reset();
    m_havePending = false;
    m_endError = ERROR_NO_MORE_FILES;
    ++t_listingsStarted;
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
