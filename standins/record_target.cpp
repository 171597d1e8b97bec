// A target program for tests and the demo. It records how it was started into the file named by
// PELICOR_TEST_RECORD and exits with PELICOR_TEST_EXIT_CODE (0 when unset). With
// PELICOR_TEST_HANDLE set to a handle value, it writes "inherited" through that handle, which
// only works when the handle came down the parent chain. With PELICOR_TEST_STARTED_EVENT it
// signals that named event once it has recorded; with PELICOR_TEST_HOLD_EVENT it then blocks
// without touching its message queue (so that it is not yet input-idle) until that named event is
// signalled; with PELICOR_TEST_WAIT_EVENT it then keeps pumping messages (so that it counts as
// input-idle) until that named event is signalled. With PELICOR_TEST_LOAD_LIBRARY it first loads
// that DLL by name, as programs load plug-ins from the folder they were started in. With
// PELICOR_TEST_WINDOW=1 it creates a hidden top-level window of class "RecordTargetWnd" before
// it records, as a windowed program does.
#include <windows.h>

#include <cwchar>

#include "standins/record.h"

using pelicor::standins::EnvironmentValue;

namespace {

constexpr DWORD kLongestWaitMs = 120000;

void SignalNamedEvent(const std::wstring& name) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (event != nullptr) {
        SetEvent(event);
        CloseHandle(event);
    }
}

void BlockUntil(const std::wstring& name) {
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr) return;
    WaitForSingleObject(event, kLongestWaitMs);
    CloseHandle(event);
}

void PumpMessagesUntil(const std::wstring& name) {
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr) return;
    const ULONGLONG deadline = GetTickCount64() + kLongestWaitMs;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(event);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    if (pelicor::standins::EnvironmentFlag(L"PELICOR_TEST_WINDOW")) {
        (void)pelicor::standins::CreateHiddenTopLevelWindow(L"RecordTargetWnd", &DefWindowProcW);
    }
    const std::wstring library = EnvironmentValue(L"PELICOR_TEST_LOAD_LIBRARY");
    if (!library.empty()) {
        HMODULE loaded = LoadLibraryW(library.c_str());
        if (loaded != nullptr) FreeLibrary(loaded);
    }
    pelicor::standins::AppendToFile(
        EnvironmentValue(L"PELICOR_TEST_RECORD"),
        pelicor::standins::StartupRecord() + L"showCommand=" + std::to_wstring(showCommand) + L"\n");
    const std::wstring handle = EnvironmentValue(L"PELICOR_TEST_HANDLE");
    if (!handle.empty()) {
        const auto value = static_cast<UINT_PTR>(std::wcstoull(handle.c_str(), nullptr, 0));
        DWORD written = 0;
        WriteFile(reinterpret_cast<HANDLE>(value), "inherited", 9, &written, nullptr);
    }
    const std::wstring started = EnvironmentValue(L"PELICOR_TEST_STARTED_EVENT");
    if (!started.empty()) SignalNamedEvent(started);
    const std::wstring hold = EnvironmentValue(L"PELICOR_TEST_HOLD_EVENT");
    if (!hold.empty()) BlockUntil(hold);
    const std::wstring wait = EnvironmentValue(L"PELICOR_TEST_WAIT_EVENT");
    if (!wait.empty()) PumpMessagesUntil(wait);
    const std::wstring code = EnvironmentValue(L"PELICOR_TEST_EXIT_CODE");
    return static_cast<int>(code.empty() ? 0 : std::wcstoul(code.c_str(), nullptr, 0));
}
