#pragma once
// Hears of every object that a clean-up removes, as it goes: the journal that
// lets a user undo a clean-up is written through it.
#include <windows.h>
#include <string>

#include "support/FileTime.h"

class IRemovalLog {
public:
    virtual ~IRemovalLog() = default;

    // `path` went to the Recycle Bin: the shell took it and it is gone from its
    // place. `when` is the time the shell handled it (FILETIME, UTC);
    // `binItem` the item the shell made for it in the bin, where it says
    // (empty otherwise).
    virtual void Recycled(const std::wstring& path, bool isFolder, ULONGLONG when, const std::wstring& binItem) = 0;

    // The empty folder `path` was removed outright.
    virtual void RemovedEmptyFolder(const std::wstring& path) = 0;
};
