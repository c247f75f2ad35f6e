#include "ui/FolderPicker.h"
#include "support/Version.h"
#include "support/ComInit.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

#include <commctrl.h>
#include <shlobj.h>
#include <vector>


BOOL g_bScrollSelectionPending = FALSE;

namespace {
constexpr DWORD kPathBufferChars = 1040;
} // namespace

std::wstring GetDesktopFolderPath() {
    wchar_t buffer[MAX_PATH] = L"";
    UniqueItemList items;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, items.put())) && items)
        ::SHGetPathFromIDListW(items.get(), buffer);
    buffer[MAX_PATH - 1] = L'\0';
    return NormalizeFolderPath(buffer, FALSE);
}

std::wstring GetBrowseStartFolder() {
    std::vector<wchar_t> buffer(kPathBufferChars, L'\0');
    DWORD n = ::GetCurrentDirectoryW(kPathBufferChars, buffer.data());
    if (n == 0 || n >= kPathBufferChars) return GetDesktopFolderPath();
    buffer[kPathBufferChars - 1] = L'\0';
    return NormalizeFolderPath(buffer.data(), FALSE);
}

int BrowseForSolutionFolder(const std::wstring& startFolder, HWND owner, std::wstring& outPath) {
    outPath.clear();
    ScopedComInit com;   // the browser's own, whatever the thread had before
    std::wstring start = startFolder;   // the callback reads it while the browser runs

    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = L"Pick Visual Studio solution folder to clean up:";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(&start);

    UniqueItemList items(::SHBrowseForFolderW(&info));
    if (!items) return BROWSE_CANCELLED;

    std::vector<wchar_t> path(kPathBufferChars, L'\0');
    if (!::SHGetPathFromIDListW(items.get(), path.data())) return BROWSE_NO_PATH;
    path[kPathBufferChars - 1] = L'\0';
    outPath = path.data();
    return BROWSE_PICKED;
}

int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        g_bScrollSelectionPending = FALSE;
        const auto* start = reinterpret_cast<const std::wstring*>(data);
        if (start && !start->empty()) {
            // The browser selects the folder but leaves it out of view on
            // Windows 7 and later; the first selection change scrolls to it.
            if (IsWindows7OrLater()) g_bScrollSelectionPending = TRUE;
            ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->c_str()));
        }
    } else if (message == BFFM_SELCHANGED && g_bScrollSelectionPending) {
        g_bScrollSelectionPending = FALSE;
        HWND tree = nullptr;
        ::EnumChildWindows(window, FindTreeViewProc, reinterpret_cast<LPARAM>(&tree));
        if (tree) {
            auto item = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
            if (item) ::SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
        }
    }
    return 0;
}

BOOL CALLBACK FindTreeViewProc(HWND child, LPARAM found) {
    wchar_t className[256] = L"";
    ::GetClassNameW(child, className, 256);
    if (::lstrcmpiW(className, L"SysTreeView32") == 0) {
        if (found) *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}
