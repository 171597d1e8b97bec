// The benchmark's target: stamps its start first thing, optionally stays (pumping messages, as a
// windowed program does) for PELICOR_BENCH_RUN_MS, stamps its end and exits with 0.
#include "bench/bench_shared.h"

#include <cwchar>

using namespace pelicor::bench;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const LONGLONG started = Now();
    wchar_t name[256] = {};
    GetEnvironmentVariableW(kSectionVariable, name, 256);
    HANDLE section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name);
    auto* stamps = section
                       ? static_cast<Stamps*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(Stamps)))
                       : nullptr;
    if (stamps != nullptr) stamps->started = started;

    wchar_t runMs[32] = {};
    if (GetEnvironmentVariableW(kRunMsVariable, runMs, 32) > 0) {
        const ULONGLONG end = GetTickCount64() + std::wcstoul(runMs, nullptr, 10);
        for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
    }
    if (stamps != nullptr) stamps->exiting = Now();
    return 0;
}
