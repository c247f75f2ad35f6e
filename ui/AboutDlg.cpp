#include "ui/AboutDlg.h"
#include "ui/resource.h"
#include "engine/recycling/DeleterChoice.h"
#include "support/PathUtil.h"
#include "ui/WebSite.h"

#include <commctrl.h>
#include <cwchar>

CAboutDlg::CAboutDlg(HWND parent) : CDialogImpl(IDD_ABOUTBOX, parent) {
    // The link control's class is not among the classic ones registered at start.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
}

std::span<const MessageEntry<CAboutDlg>> CAboutDlg::GetMessageMap() {
    using namespace msgmap;
    static const MessageEntry<CAboutDlg> map[] = {
        Notify(IDC_LINK_WEBSITE, NM_CLICK, &CAboutDlg::OnLinkClicked),
        // Enter on the focused link opens it too, for keyboard users.
        Notify(IDC_LINK_WEBSITE, NM_RETURN, &CAboutDlg::OnLinkClicked),
        Message(WM_HELP, &CAboutDlg::OnHelpInfo),
    };
    return map;
}

std::wstring FormatLegalNotice(unsigned year) {
    return FormatText(L"Copyright (C) 2024-%u Mopwright developers", year);
}

LRESULT SetLinkUrl(HWND link, const std::wstring& address) {
    if (address.size() >= L_MAX_URL_LENGTH) return 0;
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = 0;
    wcsncpy(item.szUrl, address.c_str(), L_MAX_URL_LENGTH - 1);
    return ::SendMessageW(link, LM_SETITEM, 0, reinterpret_cast<LPARAM>(&item));
}

BOOL CAboutDlg::OnInitDialog() {
    m_linkWebsite = GetDlgItem(IDC_LINK_WEBSITE);
    ::SetDlgItemTextW(m_hWnd, IDC_STATIC_NAME_VERSION, FormatText(L"Mopwright, Version %ls", kVersionString).c_str());
    // The year comes from the local date each time the box opens.
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    ::SetDlgItemTextW(m_hWnd, IDC_STATIC_LEGAL, FormatLegalNotice(now.wYear).c_str());
    // Asked on the window's thread, whose deleter its clean-ups use.
    ::SetDlgItemTextW(m_hWnd, IDC_STATIC_DELETER, FormatText(L"Deletes through: %ls", ActiveDeleterName()).c_str());
    ::SetWindowTextW(m_linkWebsite, (std::wstring(L"<a>") + kWebSiteHost + L"</a>").c_str());
    SetLinkUrl(m_linkWebsite, kHomePageUrl);
    return TRUE;
}

void CAboutDlg::PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HandleDragMove(msg, wParam, lParam, m_hWnd, m_dragMove);
}

LRESULT CAboutDlg::OnLinkClicked(NMHDR*) {
    OpenWebPage(m_hWnd, kHomePageUrl);
    return 0;
}

bool CAboutDlg::OnHelpInfo(WPARAM, LPARAM, LRESULT& result) {
    result = TRUE;
    return true;
}
