#pragma once
// The application object: at start-up it runs the main dialog until it closes.
#include "framework/App.h"

class CMopwrightApp : public CWinApp {
public:
    CMopwrightApp();
    ~CMopwrightApp() override;
    BOOL InitInstance() override;
};

extern CMopwrightApp theApp;
