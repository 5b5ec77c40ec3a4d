#include "application/LiveUpdateApp.h"

CLiveUpdateApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    return RunApplication(hInstance);
}
