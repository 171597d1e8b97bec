// A program that imports version.dll, which is no Known DLL, so that the loader searches for it
// as it would for any DLL: built once with the launcher's load configuration (DependentLoadFlags:
// the system folder only) and once without it, as the control. Returns 0 once it runs, which it
// does only with a version.dll that loads.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    DWORD handle = 0;
    // Any call will do; it only has to make the import a real one.
    (void)GetFileVersionInfoSizeW(L"kernel32.dll", &handle);
    return 0;
}
