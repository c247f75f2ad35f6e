#include "engine/RecycleBin.h"

#include <shlguid.h>
#include <shlwapi.h>
#include <algorithm>
#include <cwctype>

#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// Where an item of the bin came from (the folder) and when it was deleted.
const GUID kDisplacedProperties = {0x9b174b33, 0x40ff, 0x11d2, {0xa2, 0x7e, 0x00, 0xc0, 0x4f, 0xc3, 0x08, 0x71}};
constexpr DWORD kDisplacedFrom = 2;   // PID_DISPLACED_FROM
constexpr DWORD kDisplacedDate = 3;   // PID_DISPLACED_DATE

// Command ids of the bin's context menu: the menu's own offsets plus this.
constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;

constexpr ULONGLONG kTicksPerSecond = 10000000;

DWORD ErrorFromResult(HRESULT hr)
{
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
}

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
            item.deletedFirst = item.deletedLast =
                (static_cast<ULONGLONG>(deleted.dwHighDateTime) << 32) | deleted.dwLowDateTime;
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
    return true;
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
    first = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    last = first + (withSeconds ? 1 : 60) * kTicksPerSecond - 1;
    return TRUE;
}
