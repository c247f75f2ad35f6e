#pragma once
// The application object: records the system version at construction and,
// at start-up, runs the main dialog until it closes.
#include "framework/App.h"

// TRUE on Windows 7 (6.1) or later; only the folder picker reads it.
extern BOOL g_bWin7OrLater;

class CMopwrightApp : public CWinApp {
public:
    CMopwrightApp();
    ~CMopwrightApp() override;
    BOOL InitInstance() override;
};

extern CMopwrightApp theApp;
