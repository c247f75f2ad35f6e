#pragma once
// The About box: name and version, the legal notice with the current year, the
// deleter that clean-ups use, and a link to the web site. It can be dragged by
// its background.
#include "MopwrightVersion.h"
#include "framework/Dialog.h"
#include "ui/DragMove.h"

#include <span>
#include <string>

inline constexpr wchar_t kVersionString[] = MOPWRIGHT_VERSION_WSTRING;

class CAboutDlg : public CDialogImpl<CAboutDlg> {
public:
    // Modal to `parent`, else to the application's main window.
    explicit CAboutDlg(HWND parent = nullptr);
    static std::span<const MessageEntry<CAboutDlg>> GetMessageMap();

protected:
    BOOL OnInitDialog() override;
    void PreFilterMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnLinkClicked(NMHDR* hdr);
    bool OnHelpInfo(WPARAM, LPARAM, LRESULT& result);

    HWND m_linkWebsite = nullptr;
    DRAG_MOVE_STATE m_dragMove{};
};

// "Copyright (C) 2024-<year> ..." for the given year.
std::wstring FormatLegalNotice(unsigned year);

// Gives the SysLink's first item its address; 0 (and nothing done) for an
// address of 2,084 characters or more.
LRESULT SetLinkUrl(HWND link, const std::wstring& address);
