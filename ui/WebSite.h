#pragma once
// The maker's web site: one host name for the registry's company key, the
// About box's link and both addresses.
#include <windows.h>
#include <string>

#define MOPWRIGHT_WEB_HOST L"www.mopwright.example"

inline constexpr wchar_t kWebSiteHost[] = MOPWRIGHT_WEB_HOST;
inline constexpr wchar_t kHomePageUrl[] = L"https://" MOPWRIGHT_WEB_HOST L"/";
inline constexpr wchar_t kUpdatePageUrl[] = L"https://" MOPWRIGHT_WEB_HOST L"/utilities/#Mopwright";

// Opens `url` in the user's browser ("open" verb, SW_SHOWNORMAL). The shell's
// answer (above 32 on success) is left as the thread's last error; nothing is
// shown on failure.
void OpenWebPage(HWND parent, const std::wstring& url);

// Every page the program opens goes through OpenWebPage; tests put a recorder
// in place of the shell here. Null restores the shell. Answers the previous one.
using WebPageOpener = HINSTANCE (*)(HWND parent, const wchar_t* url);
WebPageOpener SetWebPageOpener(WebPageOpener opener);
