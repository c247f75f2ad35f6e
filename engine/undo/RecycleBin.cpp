#include "engine/undo/RecycleBin.h"

#include <shlguid.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <algorithm>
#include <cwctype>
#include <new>

#include "engine/recycling/DestroyPromptHook.h"
#include "support/ComObject.h"

#include "support/ErrorText.h"
#include "support/FileTime.h"
#include "support/PathUtil.h"

namespace {

// Where an item of the bin came from (the folder) and when it was deleted.
const GUID kDisplacedProperties = {0x9b174b33, 0x40ff, 0x11d2, {0xa2, 0x7e, 0x00, 0xc0, 0x4f, 0xc3, 0x08, 0x71}};
constexpr DWORD kDisplacedFrom = 2;   // PID_DISPLACED_FROM
constexpr DWORD kDisplacedDate = 3;   // PID_DISPLACED_DATE
// The size of an item (FMTID_Storage, PID_STG_SIZE).
const GUID kStorageProperties = {0xb725f130, 0x47ef, 0x101a, {0xa5, 0xf1, 0x02, 0x60, 0x8c, 0x9e, 0xeb, 0xac}};
constexpr DWORD kStorageSize = 12;

// Command ids of the bin's context menu: the menu's own offsets plus this.
constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;



std::wstring TakeString(STRRET& value, LPCITEMIDLIST child)
{
    UniqueCoString text;
    if (FAILED(::StrRetToStrW(&value, child, text.put())) || !text) return L"";
    return text.get();
}

std::wstring DisplayName(IShellFolder2* folder, LPCITEMIDLIST child, SHGDNF flags)
{
    STRRET value{};
    return SUCCEEDED(folder->GetDisplayNameOf(child, flags, &value)) ? TakeString(value, child) : L"";
}

// The command of `menu` that puts the selected items back: the one whose
// canonical verb is "undelete". A bin that names no verb for a command offers
// it by its text alone; only then does "Restore" identify it. Any other
// command (such as the one that erases for good) is never chosen.
int FindRestoreCommand(IContextMenu* menu, HMENU popup)
{
    int byText = -1;
    const int count = ::GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        const UINT id = ::GetMenuItemID(popup, i);
        if (id == static_cast<UINT>(-1) || id < kFirstCommand) continue;   // a separator or submenu
        const UINT offset = id - kFirstCommand;
        wchar_t verb[64] = L"";
        if (SUCCEEDED(menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb), 64))) {
            if (::lstrcmpiW(verb, L"undelete") == 0) return static_cast<int>(offset);
            continue;
        }
        wchar_t text[64] = L"";
        ::GetMenuStringW(popup, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        if (::lstrcmpiW(RemoveChar(text, L'&').c_str(), L"Restore") == 0) byText = static_cast<int>(offset);
    }
    return byText;
}

} // namespace

DWORD CRecycleBin::Open()
{
    UniqueCom<IShellFolder> desktop;
    HRESULT hr = ::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, m_binList.put());
    if (SUCCEEDED(hr)) hr = ::SHGetDesktopFolder(desktop.put());
    if (SUCCEEDED(hr)) hr = desktop->BindToObject(m_binList.get(), nullptr, IID_IShellFolder2, m_folder.put_void());
    if (FAILED(hr) || !m_folder) return ErrorFromResult(FAILED(hr) ? hr : E_NOINTERFACE);
    // The columns that show the same two details, for a bin that answers only in text.
    SHCOLUMNID column{};
    for (UINT c = 0; c < 64 && SUCCEEDED(m_folder->MapColumnToSCID(c, &column)); ++c) {
        if (!IsEqualGUID(column.fmtid, kDisplacedProperties)) continue;
        if (column.pid == kDisplacedFrom) m_locationColumn = static_cast<int>(c);
        if (column.pid == kDisplacedDate) m_dateColumn = static_cast<int>(c);
    }
    for (UINT c = 0; c < 64 && SUCCEEDED(m_folder->MapColumnToSCID(c, &column)); ++c)
        if (IsEqualGUID(column.fmtid, kStorageProperties) && column.pid == kStorageSize) m_sizeColumn = static_cast<int>(c);
    return 0;
}

std::wstring CRecycleBin::ColumnText(LPCITEMIDLIST child, int column)
{
    SHELLDETAILS details{};
    if (column < 0 || FAILED(m_folder->GetDetailsOf(child, static_cast<UINT>(column), &details))) return L"";
    return TakeString(details.str, child);
}

bool CRecycleBin::Describe(LPCITEMIDLIST child, BIN_ITEM& item)
{
    std::wstring location;
    bool dated = false;
    if (m_detailsEx) {
        const SHCOLUMNID from{kDisplacedProperties, kDisplacedFrom};
        VARIANT value;
        ::VariantInit(&value);
        const HRESULT hr = m_folder->GetDetailsEx(child, &from, &value);
        if (hr == E_NOTIMPL) m_detailsEx = false;   // the bin tells only its columns' texts
        else if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal) location = value.bstrVal;
        ::VariantClear(&value);
    }
    if (m_detailsEx) {
        // The property system gives the date as a UTC file time, to the tick.
        UniqueItemList full(::ILCombine(m_binList.get(), child));
        UniqueCom<IShellItem2> shellItem;
        FILETIME deleted{};
        const PROPERTYKEY dateKey{kDisplacedProperties, kDisplacedDate};
        if (full && SUCCEEDED(::SHCreateItemFromIDList(full.get(), IID_IShellItem2, shellItem.put_void())) &&
            SUCCEEDED(shellItem->GetFileTime(dateKey, &deleted))) {
            item.deletedFirst = item.deletedLast = FileTimeValue(deleted);
            dated = true;
        }
    }
    if (location.empty()) location = ColumnText(child, m_locationColumn);
    if (!dated) dated = ParseShellDateText(ColumnText(child, m_dateColumn), item.deletedFirst, item.deletedLast) != FALSE;
    if (location.empty() || !dated) return false;
    item.originalPath = CanonicalPath(location);   // the name is joined by the caller

    SFGAOF attributes = SFGAO_FOLDER | SFGAO_STREAM;
    if (SUCCEEDED(m_folder->GetAttributesOf(1, &child, &attributes))) {
        if (attributes == SFGAO_FOLDER) item.kind = BinItemKind::Folder;
        else if (attributes == SFGAO_STREAM) item.kind = BinItemKind::File;
    }
    if (item.kind != BinItemKind::Folder && !ParseShellSizeText(ColumnText(child, m_sizeColumn), item.sizeLow, item.sizeHigh)) {
        item.sizeLow = 0;
        item.sizeHigh = ~0ull;
    }
    return true;
}

DWORD CBinItemBinder::Bind(const std::wstring& binPath, BIN_ITEM& item)
{
    item = {};
    const std::wstring folder = GetParentPath(binPath);
    if (folder.empty()) return ERROR_FILE_NOT_FOUND;
    if (PathKey(folder) != PathKey(m_folderPath)) {
        m_folderPath = folder;
        m_folder.reset();
        UniqueCom<IShellFolder> desktop;
        if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, m_folderList.put(), 0, nullptr)) ||
            FAILED(::SHGetDesktopFolder(desktop.put())) ||
            FAILED(desktop->BindToObject(m_folderList.get(), nullptr, IID_IShellFolder, m_folder.put_void())))
            m_folder.reset();
    }
    if (!m_folder) return ERROR_FILE_NOT_FOUND;
    std::wstring name(FileNamePart(binPath));
    UniqueItemList child;
    ULONG eaten = 0;
    HRESULT hr = m_folder->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, child.put(), nullptr);
    UniqueItemList full(SUCCEEDED(hr) ? ::ILCombine(m_folderList.get(), child.get()) : nullptr);
    UniqueCom<IShellItem2> bound;
    if (SUCCEEDED(hr)) hr = full ? ::SHCreateItemFromIDList(full.get(), IID_IShellItem2, bound.put_void()) : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        const DWORD error = ErrorFromResult(hr);
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
    }
    SFGAOF attributes = 0;
    if (SUCCEEDED(bound->GetAttributes(SFGAO_FOLDER | SFGAO_STREAM, &attributes))) {
        if (attributes & SFGAO_FOLDER) item.kind = BinItemKind::Folder;
        else if (attributes & SFGAO_STREAM) item.kind = BinItemKind::File;
    }
    // Bound inside the bin, the item says where it came from and when.
    UniqueCoString from;
    const PROPERTYKEY fromKey{kDisplacedProperties, kDisplacedFrom}, dateKey{kDisplacedProperties, kDisplacedDate};
    if (SUCCEEDED(bound->GetString(fromKey, from.put())) && from) item.originalPath = CanonicalPath(from.get());
    FILETIME deleted{};
    if (SUCCEEDED(bound->GetFileTime(dateKey, &deleted))) item.deletedFirst = item.deletedLast = FileTimeValue(deleted);
    // A file in the bin keeps its size: where it can be read, it must agree.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (item.kind != BinItemKind::Folder && ::GetFileAttributesExW(LongPathForm(binPath).c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        item.sizeLow = item.sizeHigh = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    item.shellItem.reset(bound.release());
    return 0;
}

BOOL ParseShellSizeText(const std::wstring& text, unsigned long long& low, unsigned long long& high)
{
    // The digit groups in the order written, and the unit after them. Marks
    // between digits group thousands, except a last group of other than three
    // digits, which is a fraction ("1,234 KB", "12.5 MB", "3,50 MB").
    std::vector<std::wstring> groups;
    std::wstring unit;
    bool inNumber = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            if (!unit.empty()) return FALSE;
            if (!inNumber) groups.emplace_back();
            if (groups.back().size() > 12) return FALSE;
            groups.back() += c;
            inNumber = true;
        } else {
            inNumber = false;
            if (std::iswalpha(c)) unit += static_cast<wchar_t>(std::towupper(c));
        }
    }
    unsigned long long factor = 0;
    if (unit == L"BYTES" || unit == L"BYTE" || unit == L"B") factor = 1;
    else if (unit == L"KB") factor = 1024;
    else if (unit == L"MB") factor = 1024ull * 1024;
    else if (unit == L"GB") factor = 1024ull * 1024 * 1024;
    if (groups.empty() || factor == 0 || groups.size() > 5) return FALSE;
    std::wstring fraction;
    if (groups.size() > 1 && groups.back().size() != 3) {
        fraction = groups.back();
        groups.pop_back();
    }
    unsigned long long whole = 0, scale = 1, part = 0;
    for (const std::wstring& g : groups)
        for (wchar_t c : g) whole = whole * 10 + static_cast<unsigned>(c - L'0');
    for (wchar_t c : fraction) {
        part = part * 10 + static_cast<unsigned>(c - L'0');
        scale *= 10;
    }
    if (factor == 1) {
        low = high = whole;
        return TRUE;
    }
    // The shown figure is the size rounded (up, for KB) to what it shows: one
    // step of the last digit either side covers every rounding rule.
    const unsigned long long shown = whole * factor + part * factor / scale, step = factor / scale;
    low = shown > step ? shown - step : 0;
    high = shown + step;
    return TRUE;
}

DWORD CRecycleBin::List(const std::function<bool(const std::wstring& foldedName)>& wanted, std::vector<BIN_ITEM>& items)
{
    UniqueCom<IEnumIDList> listing;
    HRESULT hr = m_folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                       listing.put());
    if (FAILED(hr)) return ErrorFromResult(hr);
    if (hr == S_FALSE || !listing) return 0;   // an empty bin
    for (;;) {
        LPITEMIDLIST batch[64] = {};
        ULONG got = 0;
        hr = listing->Next(64, batch, &got);
        for (ULONG i = 0; i < got; ++i) {
            UniqueItemList child(batch[i]);
            std::wstring name = DisplayName(m_folder.get(), child.get(), SHGDN_INFOLDER);
            if (!wanted(FoldPathCase(name))) {
                // Where known extensions are hidden the shown name lacks its
                // extension; the bin's own item keeps it.
                const std::wstring parsing = DisplayName(m_folder.get(), child.get(), SHGDN_FORPARSING);
                const std::wstring extension = FindExtension(parsing.c_str());
                if (extension.empty() || name.ends_with(extension)) continue;
                name += extension;
                if (!wanted(FoldPathCase(name))) continue;
            }
            BIN_ITEM item;
            if (!Describe(child.get(), item)) continue;
            item.originalPath = CanonicalPath(JoinPath(item.originalPath, name));
            item.child = std::move(child);
            items.push_back(std::move(item));
        }
        if (hr != S_OK || got == 0) break;
    }
    return FAILED(hr) ? ErrorFromResult(hr) : 0;
}

DWORD CRecycleBin::Restore(const std::vector<const BIN_ITEM*>& items, HWND owner)
{
    if (items.empty()) return 0;
    std::vector<LPCITEMIDLIST> children;
    for (const BIN_ITEM* item : items) children.push_back(item->child.get());
    UniqueCom<IContextMenu> menu;
    HRESULT hr = m_folder->GetUIObjectOf(owner, static_cast<UINT>(children.size()), children.data(), IID_IContextMenu,
                                         nullptr, menu.put_void());
    if (FAILED(hr) || !menu) return ErrorFromResult(FAILED(hr) ? hr : E_NOINTERFACE);
    UniqueMenu popup(::CreatePopupMenu());
    if (!popup) return ::GetLastError();
    hr = menu->QueryContextMenu(popup.get(), 0, kFirstCommand, kLastCommand, CMF_NORMAL);
    if (FAILED(hr)) return ErrorFromResult(hr);
    const int command = FindRestoreCommand(menu.get(), popup.get());
    if (command < 0) return kErrorNoRestoreCommand;

    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof(invoke);
    invoke.fMask = CMIC_MASK_FLAG_NO_UI;
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(command);
    invoke.nShow = SW_SHOWNORMAL;
    hr = menu->InvokeCommand(&invoke);
    return FAILED(hr) ? ErrorFromResult(hr) : 0;
}

BOOL ParseShellDateText(const std::wstring& text, ULONGLONG& first, ULONGLONG& last)
{
    // The numbers in the order written; marks and separators between them do not matter.
    std::vector<int> numbers;
    bool inNumber = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            if (!inNumber) numbers.push_back(0);
            numbers.back() = std::min(numbers.back() * 10 + (c - L'0'), 100000);
            inNumber = true;
        } else {
            inNumber = false;
        }
    }
    if (numbers.size() < 5) return FALSE;

    // Day, month and year stand as the user's short date orders them.
    wchar_t picture[80] = L"";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, picture, 80);
    std::wstring order;
    for (const wchar_t* p = picture; *p; ++p) {
        const wchar_t c = static_cast<wchar_t>(std::towlower(*p));
        if ((c == L'd' || c == L'm' || c == L'y') && order.find(c) == std::wstring::npos) order += c;
    }
    if (order.size() != 3) order = L"mdy";
    SYSTEMTIME local{};
    for (size_t k = 0; k < 3; ++k) {
        const WORD value = static_cast<WORD>(numbers[k]);
        if (order[k] == L'd') local.wDay = value;
        else if (order[k] == L'm') local.wMonth = value;
        else local.wYear = static_cast<WORD>(value < 100 ? value + 2000 : value);
    }
    int hour = numbers[3];
    const bool withSeconds = numbers.size() >= 6;
    // A 12-hour clock says which half of the day it means.
    wchar_t am[16] = L"", pm[16] = L"";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_S1159, am, 16);
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_S2359, pm, 16);
    if (*pm && text.find(pm) != std::wstring::npos) {
        if (hour < 12) hour += 12;
    } else if (*am && text.find(am) != std::wstring::npos && hour == 12) {
        hour = 0;
    }
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(numbers[4]);
    local.wSecond = static_cast<WORD>(withSeconds ? numbers[5] : 0);
    SYSTEMTIME utc{};
    FILETIME ft{};
    if (hour > 23 || numbers[4] > 59 || local.wSecond > 59 || !::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !::SystemTimeToFileTime(&utc, &ft))
        return FALSE;
    first = FileTimeValue(ft);
    last = first + (withSeconds ? 1 : 60) * kFileTimeTicksPerSecond - 1;
    return TRUE;
}

UniqueCom<IShellItem> CRecycleBin::ItemOf(const BIN_ITEM& item) const
{
    UniqueCom<IShellItem> shellItem;
    UniqueItemList full(item.child ? ::ILCombine(m_binList.get(), item.child.get()) : nullptr);
    if (full) ::SHCreateItemFromIDList(full.get(), IID_IShellItem, shellItem.put_void());
    return shellItem;
}

namespace {

std::wstring FileSystemPathOf(IShellItem* item)
{
    UniqueCoString path;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) return L"";
    return path.get();
}

// The sink of one move operation: refuses a move onto anything, hears each
// item's result, and asks whether to go on.
class CMoveSink final : public CFileOperationSink<> {
public:
    CMoveSink(std::vector<MOVE_BACK>& moves, std::vector<size_t> round, const std::function<bool()>& keepGoing)
        : m_moves(moves), m_round(std::move(round)), m_keepGoing(keepGoing) {}

    bool refusedOrStopped = false;
    bool stopped = false;

    IFACEMETHODIMP PreMoveItem(DWORD, IShellItem* item, IShellItem* folder, LPCWSTR newName) override
    {
        const size_t index = Find(item);
        std::wstring target = FileSystemPathOf(folder);
        if (newName) target = JoinPath(target, newName);
        // Its place was taken since it was looked at: it stays in the bin.
        if (target.empty() || ::GetFileAttributesW(LongPathForm(target).c_str()) != INVALID_FILE_ATTRIBUTES ||
            ::GetLastError() != ERROR_FILE_NOT_FOUND) {
            if (index != kNoIndex) Answer(index, ERROR_ALREADY_EXISTS);
            refusedOrStopped = true;
            return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
        }
        return S_OK;
    }
    IFACEMETHODIMP PostMoveItem(DWORD, IShellItem* item, IShellItem*, LPCWSTR, HRESULT hr, IShellItem* created) override
    {
        const size_t index = Find(item);
        if (index != kNoIndex && !m_moves[index].answered)
            Answer(index, hr == S_OK && created ? 0 : hr == S_OK ? ERROR_GEN_FAILURE : ErrorFromResult(hr));
        // The host's answer is its own business: its dialogs are not the shell's.
        ScopedDestroyRefusalPause ours;
        if (m_keepGoing && !m_keepGoing()) {
            stopped = refusedOrStopped = true;
            return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        }
        return S_OK;
    }

    IFACEMETHODIMP PreDeleteItem(DWORD, IShellItem*) override { return E_ABORT; }   // a restore deletes nothing

private:
    static constexpr size_t kNoIndex = static_cast<size_t>(-1);

    void Answer(size_t index, DWORD result)
    {
        m_moves[index].result = result;
        m_moves[index].answered = true;
    }
    size_t Find(IShellItem* item)
    {
        for (const bool same : {true, false}) {
            for (size_t n = 0; n < m_round.size(); ++n) {
                const size_t i = m_round[(m_next + n) % m_round.size()];
                int order = 1;
                if (same ? m_moves[i].item == item
                         : m_moves[i].item->Compare(item, SICHINT_CANONICAL, &order) == S_OK && order == 0) {
                    m_next = (m_next + n) % m_round.size();
                    return i;
                }
            }
        }
        return kNoIndex;
    }

    std::vector<MOVE_BACK>& m_moves;
    std::vector<size_t> m_round;
    size_t m_next = 0;
    const std::function<bool()>& m_keepGoing;
};

} // namespace

DWORD MoveBackItems(std::vector<MOVE_BACK>& moves, HWND owner, const std::function<bool()>& keepGoing)
{
    constexpr size_t kBatch = 200;
    size_t first = 0;
    while (first < moves.size()) {
        std::vector<size_t> round;
        for (size_t i = first; i < moves.size() && round.size() < kBatch; ++i)
            if (!moves[i].answered) round.push_back(i);
        if (round.empty()) break;

        UniqueCom<IFileOperation> operation;
        UniqueCom<CMoveSink> sink(new (std::nothrow) CMoveSink(moves, round, keepGoing));
        HRESULT hr = sink ? ::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                               operation.put_void())
                          : E_OUTOFMEMORY;
        // Silent, no error boxes, and never FOF_NOCONFIRMATION: that would
        // answer Yes to All, over whatever took an item's place.
        if (SUCCEEDED(hr)) hr = operation->SetOperationFlags(FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR | FOFX_NOCOPYHOOKS);
        if (SUCCEEDED(hr) && owner) hr = operation->SetOwnerWindow(owner);
        DWORD cookie = 0;
        if (SUCCEEDED(hr)) hr = operation->Advise(sink.get(), &cookie);
        for (size_t k = 0; SUCCEEDED(hr) && k < round.size(); ++k) {
            MOVE_BACK& move = moves[round[k]];
            UniqueCom<IShellItem> folder;
            hr = ::SHCreateItemFromParsingName(GetParentPath(move.target).c_str(), nullptr, IID_IShellItem, folder.put_void());
            if (SUCCEEDED(hr)) hr = operation->MoveItem(move.item, folder.get(), std::wstring(FileNamePart(move.target)).c_str(), nullptr);
            if (FAILED(hr) && hr != E_NOTIMPL && k > 0) {
                // This one cannot be queued: it fails, the others go on.
                move.result = ErrorFromResult(hr);
                move.answered = true;
                hr = S_OK;
            }
        }
        if (FAILED(hr)) {
            if (cookie) operation->Unadvise(cookie);
            if (first == 0 && std::none_of(moves.begin(), moves.end(), [](const MOVE_BACK& m) { return m.answered; }))
                return ErrorFromResult(hr);   // no moves at all here
            for (size_t i : round) {
                if (moves[i].answered) continue;
                moves[i].result = ErrorFromResult(hr);
                moves[i].answered = true;
            }
            continue;
        }
        const auto answered = [&] {
            return std::count_if(round.begin(), round.end(), [&](size_t i) { return moves[i].answered; });
        };
        const auto before = answered();
        {
            ScopedDestroyRefusal noDialogs;
            operation->PerformOperations();
        }
        operation->Unadvise(cookie);
        if (sink->stopped) return 0;
        // After a refusal the rest of the round was cancelled: another round
        // takes them, as long as each round settles something.
        if (!sink->refusedOrStopped || answered() == before) {
            for (size_t i : round) {
                if (moves[i].answered) continue;
                moves[i].result = ERROR_GEN_FAILURE;   // the shell gave no word on it
                moves[i].answered = true;
            }
        }
        while (first < moves.size() && moves[first].answered) ++first;
    }
    return 0;
}
