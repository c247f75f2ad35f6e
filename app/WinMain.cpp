#include "app/MopwrightApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (app) app->InitInstance();
    return 0;
}
