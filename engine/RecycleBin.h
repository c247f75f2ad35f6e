#pragma once
// The shell's Recycle Bin folder: its items with where they came from and when
// they were deleted, and the shell's own command that puts items back.
#include <windows.h>
#include <shlobj.h>
#include <functional>
#include <string>
#include <vector>

#include "support/UniqueHandle.h"

enum class BinItemKind { Unknown, File, Folder };

// One item in the Recycle Bin.
struct BIN_ITEM {
    std::wstring originalPath;   // where it was deleted from (canonical)
    // When it was deleted (FILETIME, UTC), as exactly as the shell tells it:
    // the earliest and the latest moment its deletion date allows.
    ULONGLONG deletedFirst = 0;
    ULONGLONG deletedLast = 0;
    BinItemKind kind = BinItemKind::Unknown;   // when the shell says
    UniqueItemList child;                      // relative to the bin
};

class CRecycleBin {
public:
    // Binds to the shell's Recycle Bin folder (COM must be initialised). 0 or the error.
    DWORD Open();

    // Every item whose original name (case-folded) `wanted` accepts, with its
    // details; the others cost only their name. 0 or the error of the listing.
    DWORD List(const std::function<bool(const std::wstring& foldedName)>& wanted, std::vector<BIN_ITEM>& items);

    // Asks the shell to put `items` back where they came from, in one call.
    // Success means only that the shell took the request: the caller checks
    // that each item is back.
    DWORD Restore(const std::vector<const BIN_ITEM*>& items, HWND owner);

private:
    bool Describe(LPCITEMIDLIST child, BIN_ITEM& item);
    std::wstring ColumnText(LPCITEMIDLIST child, int column);

    UniqueCom<IShellFolder2> m_folder;
    UniqueItemList m_binList;        // the bin's own absolute item list
    int m_locationColumn = -1;       // the columns that show the original place and the date
    int m_dateColumn = -1;
    bool m_detailsEx = true;         // the bin answers GetDetailsEx
};

// The interval of UTC times that a date text of the shell's (the user's short
// date and time formats, with or without seconds) stands for. FALSE when the
// text does not read as one.
BOOL ParseShellDateText(const std::wstring& text, ULONGLONG& first, ULONGLONG& last);
