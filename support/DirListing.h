#pragma once
// The one way this program lists a folder: ForEachEntry keeps "the listing
// ended" (ERROR_NO_MORE_FILES) apart from "the listing failed" (any other
// code), and its caller must look at which it was. The handle is closed when
// the listing ends, on every path.
#include <string>
#include <type_traits>
#include <utility>
#include "support/FileTime.h"
#include "support/UniqueHandle.h"

// How a listing ended.
struct LISTING_END {
    DWORD error = ERROR_NO_MORE_FILES;   // ERROR_NO_MORE_FILES, or why it could not start or broke off
    bool opened = false;                 // false: the folder could not be listed at all
    bool stopped = false;                // the caller stopped it before its end

    // Every entry was seen.
    bool Complete() const noexcept { return opened && !stopped && error == ERROR_NO_MORE_FILES; }
    // Part of the folder, or all of it, went unseen for a reason other than the caller's.
    bool Failed() const noexcept { return error != ERROR_NO_MORE_FILES; }
};

class DirListing {
public:
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
    static ULONGLONG WriteTime(const WIN32_FIND_DATAW& e) noexcept {
        return FileTimeValue(e.ftLastWriteTime);
    }

    // Number of listings started in this process, on any thread, since the
    // last reset; the benchmark reads it to prove that each folder is listed once.
    static unsigned long long ListingsStarted() noexcept;
    static void ResetListingsStarted() noexcept;

private:
    template <typename OnEntry>
    friend LISTING_END ForEachEntry(const std::wstring& folder, OnEntry&& onEntry);

    BOOL Open(const std::wstring& folder);
    BOOL Next(const WIN32_FIND_DATAW*& entry);
    BOOL Advance(const WIN32_FIND_DATAW*& entry);
    static bool IsDotOrDotDot(const WIN32_FIND_DATAW& e) noexcept {
        const wchar_t* n = e.cFileName;
        return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
    }

    UniqueFind m_find;
    WIN32_FIND_DATAW m_data{};
    bool m_havePending = false;
    DWORD m_endError = ERROR_NO_MORE_FILES;
};

// Hands `e` to `onEntry`: false when `onEntry` answers bool and answered
// false (stop), true otherwise.
template <typename OnEntry>
bool OnEntryGoesOn(OnEntry& onEntry, const WIN32_FIND_DATAW& e)
{
    if constexpr (std::is_same_v<decltype(onEntry(e)), bool>) {
        return onEntry(e);
    } else {
        onEntry(e);
        return true;
    }
}

// Lists `folder` (with or without a trailing separator) and hands every entry
// but "." and ".." to `onEntry`, in listing order. The entry is valid during
// the call only; the listing stays open meanwhile. An `onEntry` that answers
// bool stops the listing by answering false.
template <typename OnEntry>
[[nodiscard]] LISTING_END ForEachEntry(const std::wstring& folder, OnEntry&& onEntry)
{
    LISTING_END end;
    DirListing listing;
    if (!listing.Open(folder)) {
        end.error = listing.m_endError;
        return end;
    }
    end.opened = true;
    const WIN32_FIND_DATAW* entry = nullptr;
    while (listing.Next(entry)) {
        if (!OnEntryGoesOn(onEntry, *entry)) {
            end.stopped = true;
            return end;
        }
    }
    end.error = listing.m_endError;
    return end;
}

// Files and folders below a folder (links counted, never entered) and the
// bytes of its files. `error` is the code of the first listing that could not
// start or broke off: the totals then fall short, and the caller must say so.
struct TREE_TOTALS {
    unsigned long long items = 0;
    unsigned long long bytes = 0;
    DWORD error = ERROR_NO_MORE_FILES;
    bool Complete() const noexcept { return error == ERROR_NO_MORE_FILES; }
};
TREE_TOTALS MeasureTree(const std::wstring& folder);
