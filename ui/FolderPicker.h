#pragma once
// The folder browser behind "Open Solution Folder && Clean It".
#include <windows.h>
#include <string>

enum BrowseResult : int {
    BROWSE_PICKED = 0,      // a folder was chosen and its path obtained
    BROWSE_CANCELLED = 1,   // the browser was closed without a choice
    BROWSE_NO_PATH = 2,     // the chosen item has no file-system path
};

// Set while the browser's initial selection still has to be scrolled into view.
extern BOOL g_bScrollSelectionPending;

// The user's desktop folder, without a trailing separator; empty when unknown.
std::wstring GetDesktopFolderPath();

// The folder the browser starts in: the current directory, or the desktop
// when that cannot be had.
std::wstring GetBrowseStartFolder();

// Shows the system's folder browser, modal to `owner`, with `startFolder`
// selected; `outPath` gets the chosen folder (empty unless BROWSE_PICKED).
int BrowseForSolutionFolder(const std::wstring& startFolder, HWND owner, std::wstring& outPath);

int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM lParam, LPARAM data);
BOOL CALLBACK FindTreeViewProc(HWND child, LPARAM found);
