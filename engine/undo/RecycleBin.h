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
    // Its size as the bin's column shows it, rounded: the bytes it may hold
    // (0 and ~0 when the bin does not say).
    unsigned long long sizeLow = 0;
    unsigned long long sizeHigh = ~0ull;
    UniqueItemList child;                      // relative to the bin (a listed item)
    UniqueCom<IShellItem> shellItem;           // the item itself (a bound one)
};

// Binds the items the deleter was told the Recycle Bin made (their file-system
// paths), each with what the shell says of it: its kind, its size, and where
// it came from and when, where the bin tells it (then `originalPath` is that
// folder). The bin's folder is bound once, its items parsed in it: a full
// path's parse costs in proportion to the entries of the folders on its way.
class CBinItemBinder {
public:
    // 0, ERROR_FILE_NOT_FOUND when nothing stands there, or the error.
    DWORD Bind(const std::wstring& binPath, BIN_ITEM& item);

private:
    std::wstring m_folderPath;
    UniqueItemList m_folderList;
    UniqueCom<IShellFolder> m_folder;
};

// The sizes a size column's text stands for ("12 KB", "1,234 bytes", "3.5 MB"):
// FALSE when it does not read as one.
BOOL ParseShellSizeText(const std::wstring& text, unsigned long long& low, unsigned long long& high);

// One bin item to put back, and what became of it.
struct MOVE_BACK {
    IShellItem* item = nullptr;   // the bin item
    std::wstring target;          // its original full path, where nothing stands
    DWORD result = ERROR_GEN_FAILURE;   // 0: the shell says it is back
    bool answered = false;
};

// Puts each bin item back at its target with the shell's file operation
// (IFileOperation::MoveItem), one result each, in as few operations as the
// answers allow. Never over anything: the progress sink refuses any move whose
// target exists (183), and no confirmation is answered for the user. A dialog
// the shell opens meanwhile is answered No. `keepGoing` is asked after each
// item; false leaves the rest unanswered. 0, or the error for which the shell
// takes no moves at all (E_NOTIMPL under Wine: the caller goes another way).
DWORD MoveBackItems(std::vector<MOVE_BACK>& moves, HWND owner, const std::function<bool()>& keepGoing);

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

    // The shell item of a listed item, for the file operation.
    UniqueCom<IShellItem> ItemOf(const BIN_ITEM& item) const;

private:
    bool Describe(LPCITEMIDLIST child, BIN_ITEM& item);
    std::wstring ColumnText(LPCITEMIDLIST child, int column);

    UniqueCom<IShellFolder2> m_folder;
    UniqueItemList m_binList;        // the bin's own absolute item list
    int m_locationColumn = -1;       // the columns that show the original place, the date and the size
    int m_dateColumn = -1;
    int m_sizeColumn = -1;
    bool m_detailsEx = true;         // the bin answers GetDetailsEx
};

// The interval of UTC times that a date text of the shell's (the user's short
// date and time formats, with or without seconds) stands for. FALSE when the
// text does not read as one.
BOOL ParseShellDateText(const std::wstring& text, ULONGLONG& first, ULONGLONG& last);
