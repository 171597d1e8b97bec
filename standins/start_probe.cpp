// A program started as the launcher starts (its entry point, stack cookie, load configuration and
// crash filter, with the same compiler protections), made to break them on request:
//   overrun N  copies N bytes into a 16-byte local buffer and returns 0 (N > 16 overruns it)
//   fault      writes through a null pointer
//   cfg        calls a function one byte past its start through a pointer; returns
//              kCfgNotEnforced at once where the system enforces no Control Flow Guard on it
//   show       returns kShowCommandBase plus the show command wWinMain was handed
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "crash/crash_handler.h"

namespace {

constexpr int kCfgNotEnforced = 0x7E57CF00;
constexpr int kShowCommandBase = 0x7E575000;
constexpr int kUsage = 2;

// As the launcher does it: the whole run is covered.
const bool g_crashHandlerInstalled = pelicor::InstallCrashHandler();

// Protected by the strong heuristic: it has a local array.
int CopyIntoLocalBuffer(const char* source, std::size_t length) {
    char buffer[16];
    std::memcpy(buffer, source, length);
    // The buffer's contents decide the result, so the copy cannot be left out.
    return buffer[0] == 'x' ? 0 : 1;
}

// Never called directly: its address only serves as a valid call target nearby.
int CallTarget(int value) { return value + 1; }

bool ControlFlowGuardEnforced() {
    using GetPolicy = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    // Windows 8 on; the launcher's minimum is Windows 7.
    const auto getPolicy = reinterpret_cast<GetPolicy>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessMitigationPolicy")));
    PROCESS_MITIGATION_CONTROL_FLOW_GUARD_POLICY policy{};
    return getPolicy != nullptr &&
           getPolicy(GetCurrentProcess(), ProcessControlFlowGuardPolicy, &policy, sizeof(policy)) &&
           policy.EnableControlFlowGuard != 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
    if (!g_crashHandlerInstalled) {
        return kUsage;
    }
    if (std::wcsncmp(commandLine, L"overrun ", 8) == 0) {
        const std::size_t length = std::wcstoul(commandLine + 8, nullptr, 10);
        static char source[4096];
        std::memset(source, 'x', sizeof(source));
        return length <= sizeof(source) ? CopyIntoLocalBuffer(source, length) : kUsage;
    }
    if (std::wcscmp(commandLine, L"show") == 0) {
        return kShowCommandBase + showCommand;
    }
    if (std::wcscmp(commandLine, L"fault") == 0) {
        *static_cast<volatile int*>(nullptr) = 1;
        return 0;
    }
    if (std::wcscmp(commandLine, L"cfg") == 0) {
        if (!ControlFlowGuardEnforced()) {
            return kCfgNotEnforced;
        }
        // Function starts are 16-byte aligned, and the guard's table allows only them.
        const auto target = reinterpret_cast<int (*)(int)>(reinterpret_cast<std::uintptr_t>(&CallTarget) + 1);
        return target(1);
    }
    return kUsage;
}
