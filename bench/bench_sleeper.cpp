// A trivial program that only sleeps, whose working set the launcher's is compared with. With
// any argument it first brings up user32 for the process, as every windowed program does.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    if (commandLine != nullptr && commandLine[0] != L'\0') {
        (void)GetDesktopWindow();
    }
    Sleep(60000);
    return 0;
}
