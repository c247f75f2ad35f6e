#pragma once
// A directory listing that keeps "the listing ended" (ERROR_NO_MORE_FILES)
// apart from "the listing failed" (any other code). The handle is closed when
// the object goes, on every path.
#include <string>
#include "support/UniqueHandle.h"

class DirListing {
public:
    // Starts listing `folder` (with or without a trailing separator). FALSE:
    // the listing could not be started; the last error says why.
    BOOL Open(const std::wstring& folder);

    // The next entry; "." and ".." are never given. FALSE when there is none:
    // then EndError() is ERROR_NO_MORE_FILES after a complete listing, or the
    // code that broke the listing off.
    BOOL Next(const WIN32_FIND_DATAW*& entry);

    DWORD EndError() const noexcept { return m_endError; }
    void Close() noexcept { m_find.reset(); }

    static bool IsDirectory(const WIN32_FIND_DATAW& e) noexcept {
        return (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    // Junctions, symbolic links and mount points: never entered, never
    // matched, never deleted by any walk of this program.
    static bool IsLink(const WIN32_FIND_DATAW& e) noexcept {
        return (e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    static unsigned long long FileBytes(const WIN32_FIND_DATAW& e) noexcept {
        return (static_cast<unsigned long long>(e.nFileSizeHigh) << 32) | e.nFileSizeLow;
    }

    // Number of listings started in this thread since the last reset; the
    // benchmark reads it to prove that each folder is listed once.
    static unsigned long long ListingsStarted() noexcept;
    static void ResetListingsStarted() noexcept;

private:
    static bool IsDotOrDotDot(const WIN32_FIND_DATAW& e) noexcept {
        const wchar_t* n = e.cFileName;
        return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
    }
    BOOL Advance(const WIN32_FIND_DATAW*& entry);

    UniqueFind m_find;
    WIN32_FIND_DATAW m_data{};
    bool m_havePending = false;
    DWORD m_endError = ERROR_NO_MORE_FILES;
};
