// What the stand-ins share: reading their settings from the environment and appending what they
// saw to files the tests read. Records are UTF-16 text, one "key=value" or event line each.
#pragma once

#include <windows.h>

#include <string>

namespace pelicor::standins {

// The variable's value, or empty when it is unset.
inline std::wstring EnvironmentValue(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

inline bool EnvironmentFlag(const wchar_t* name) { return EnvironmentValue(name) == L"1"; }

// Appends `text` in one write, so that lines from several processes never interleave.
inline void AppendToFile(const std::wstring& path, const std::wstring& text) {
    if (path.empty()) {
        return;
    }
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

// A hidden top-level window of class `className` (registered here with `procedure`) on the calling
// thread, as windowed programs and in-process code leave them; nullptr when it cannot be made.
inline HWND CreateHiddenTopLevelWindow(const wchar_t* className, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);  // a class left from an earlier window serves as well
    return CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// How this process was started: its command line, current directory, start-up show command,
// window title, start-up flags and the start-up information's reserved text.
inline std::wstring StartupRecord() {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::wstring directory(32767, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    std::wstring record;
    record += L"commandLine=" + std::wstring(GetCommandLineW()) + L"\n";
    record += L"directory=" + directory + L"\n";
    record += L"startupShow=" +
              ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_wstring(startup.wShowWindow)
                                                        : std::wstring(L"none")) +
              L"\n";
    record += L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\n";
    record += L"title=" + std::wstring(startup.lpTitle != nullptr ? startup.lpTitle : L"") + L"\n";
    record += L"startupFlags=" + std::to_wstring(startup.dwFlags) + L"\n";
    record += L"reserved=" + std::wstring(startup.lpReserved != nullptr ? startup.lpReserved : L"") + L"\n";
    return record;
}

}  // namespace pelicor::standins
