// A target program for tests and the demo. It records how it was started into the file named by
// PELICOR_TEST_RECORD and exits with PELICOR_TEST_EXIT_CODE (0 when unset). With
// PELICOR_TEST_HANDLE set to a handle value, it writes "inherited" through that handle, which
// only works when the handle came down the parent chain.
#include <windows.h>

#include <cwchar>

#include "standins/record.h"

using pelicor::standins::EnvironmentValue;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    pelicor::standins::AppendToFile(EnvironmentValue(L"PELICOR_TEST_RECORD"),
                                    pelicor::standins::StartupRecord() + L"showCommand=" +
                                        std::to_wstring(showCommand) + L"\n");
    const std::wstring handle = EnvironmentValue(L"PELICOR_TEST_HANDLE");
    if (!handle.empty()) {
        const auto value = static_cast<UINT_PTR>(std::wcstoull(handle.c_str(), nullptr, 0));
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(value), "inherited", 9, &written, nullptr);
    }
    const std::wstring code = EnvironmentValue(L"PELICOR_TEST_EXIT_CODE");
    return static_cast<int>(code.empty() ? 0 : std::wcstoul(code.c_str(), nullptr, 0));
}
