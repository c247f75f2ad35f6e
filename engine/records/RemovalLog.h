#pragma once
// Hears of every object that a clean-up removes, as it goes: the journal that
// lets a user undo a clean-up is written through it.
#include <windows.h>
#include <string>

#include "support/FileTime.h"

// One object that went to the Recycle Bin: the shell took it and it is gone
// from its place (or so the shell said: the caller checks).
struct RECYCLED_OBJECT {
    std::wstring path;
    bool isFolder = false;
    ULONGLONG when = 0;             // when the shell handled it (FILETIME, UTC)
    std::wstring binItem;           // the item the shell made for it in the bin, where it says
    unsigned long long bytes = ~0ull;   // a file's size as planned; ~0: not known
};

class IRemovalLog {
public:
    virtual ~IRemovalLog() = default;

    // An object went to the Recycle Bin; heard as soon as the shell says so.
    virtual void Recycled(const RECYCLED_OBJECT& object) = 0;

    // The empty folder `path` was removed outright.
    virtual void RemovedEmptyFolder(const std::wstring& path) = 0;
};
