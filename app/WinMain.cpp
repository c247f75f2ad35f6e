#include "ui/MopwrightApp.h"

// The application object lives in mw_ui with the dialogs; naming it here is
// what links it in.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    theApp.InitInstance();
    return 0;
}
