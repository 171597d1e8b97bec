// A target program for tests and the demo. It records how it was started into the file named by
// PELICOR_TEST_RECORD (UTF-16 "key=value" lines) and exits with PELICOR_TEST_EXIT_CODE (0 when
// unset). With PELICOR_TEST_HANDLE set to a handle value, it writes "inherited" through that
// handle, which only works when the handle was inherited from the parent chain.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring CurrentDirectory() {
    wchar_t buffer[32768];
    const DWORD length = GetCurrentDirectoryW(32768, buffer);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

void WriteRecord(const std::wstring& path, int showCommand) {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::wstring record;
    record += L"commandLine=" + std::wstring(GetCommandLineW()) + L"\n";
    record += L"directory=" + CurrentDirectory() + L"\n";
    record += L"startupShow=" +
              ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_wstring(startup.wShowWindow) : std::wstring(L"none")) +
              L"\n";
    record += L"showCommand=" + std::to_wstring(showCommand) + L"\n";
    record += L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\n";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    const std::wstring recordPath = Environment(L"PELICOR_TEST_RECORD");
    if (!recordPath.empty()) {
        WriteRecord(recordPath, showCommand);
    }
    const std::wstring handle = Environment(L"PELICOR_TEST_HANDLE");
    if (!handle.empty()) {
        const auto value = static_cast<UINT_PTR>(std::wcstoull(handle.c_str(), nullptr, 0));
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(value), "inherited", 9, &written, nullptr);
    }
    const std::wstring code = Environment(L"PELICOR_TEST_EXIT_CODE");
    return static_cast<int>(code.empty() ? 0 : std::wcstoul(code.c_str(), nullptr, 0));
}
