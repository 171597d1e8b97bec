// A target whose manifest requires administrator rights. Windows refuses to create it from a
// process that is not elevated (ERROR_ELEVATION_REQUIRED), so it only starts through the shell's
// elevation. An elevated process gets a fresh environment, so its settings come on its command
// line: admin_target.exe <record file> <exit code> [arguments...]. It records whether it runs
// elevated and its command line, and exits with the code.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "standins/record.h"

namespace {

bool RunsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr || count < 3) {
        LocalFree(argv);
        return 2;
    }
    pelicor::standins::AppendToFile(argv[1], std::wstring(L"elevated=") + (RunsElevated() ? L"1" : L"0") +
                                                 L"\ncommandLine=" + GetCommandLineW() + L"\n");
    const int code = static_cast<int>(std::wcstoul(argv[2], nullptr, 0));
    LocalFree(argv);
    return code;
}
