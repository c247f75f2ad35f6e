#include "ui/WebSite.h"
#include <shellapi.h>

namespace {
WebPageOpener g_pfnOpener = nullptr;
}

void OpenWebPage(HWND parent, const std::wstring& url) {
    HINSTANCE result = g_pfnOpener ? g_pfnOpener(parent, url.c_str())
                                   : ::ShellExecuteW(parent, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    ::SetLastError(static_cast<DWORD>(reinterpret_cast<INT_PTR>(result)));
}

WebPageOpener SetWebPageOpener(WebPageOpener opener) {
    WebPageOpener previous = g_pfnOpener;
    g_pfnOpener = opener;
    return previous;
}
