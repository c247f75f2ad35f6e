#pragma once
// Hears of every object that a clean-up removes, as it goes: the journal that
// lets a user undo a clean-up is written through it.
#include <windows.h>
#include <string>
#include <vector>

class IRemovalLog {
public:
    virtual ~IRemovalLog() = default;

    // `path` went to the Recycle Bin: the shell took it and it is gone from its
    // place. `when` is the time the shell handled it (FILETIME, UTC).
    virtual void Recycled(const std::wstring& path, bool isFolder, ULONGLONG when) = 0;

    // The empty folder `path` was removed outright.
    virtual void RemovedEmptyFolder(const std::wstring& path) = 0;
};

// The time now as the log takes it (FILETIME, UTC).
inline ULONGLONG NowFileTime()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The same calls for a log that may be absent (null: nobody listens).
inline void LogRecycled(IRemovalLog* log, const std::wstring& path, bool isFolder)
{
    if (log) log->Recycled(path, isFolder, NowFileTime());
}
inline void LogRemovedEmptyFolder(IRemovalLog* log, const std::wstring& path)
{
    if (log) log->RemovedEmptyFolder(path);
}
// Files of `sent` that are not in `remaining` (a subsequence of `sent`, in the
// same order) went to the Recycle Bin.
inline void LogRecycledFiles(IRemovalLog* log, const std::vector<std::wstring>& sent,
                             const std::vector<std::wstring>& remaining)
{
    if (!log) return;
    const ULONGLONG when = NowFileTime();
    size_t r = 0;
    for (const std::wstring& file : sent) {
        if (r < remaining.size() && remaining[r] == file) ++r;
        else log->Recycled(file, false, when);
    }
}
