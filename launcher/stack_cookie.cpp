// Built without stack protection (see CMakeLists.txt): it changes the cookie, and it ends the
// process when a check fails.
#include "launcher/stack_cookie.h"

#include <windows.h>

extern "C" {

// In writable data, where the load configuration names it for the loader.
std::uintptr_t __stack_chk_guard = static_cast<std::uintptr_t>(pelicor::kDefaultStackCookie);

// `int 0x29` with the code in ECX (launcher/fast_fail_x64.S): what the platform's __fastfail
// compiles to.
[[noreturn]] void PelicorFastFail(unsigned int code) noexcept;

[[noreturn]] void __stack_chk_fail() noexcept {
    constexpr DWORD kStackBufferOverrun = 0xC0000409;
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        PelicorFastFail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
    }
    // Windows 7 has no fast fail; there `int 0x29` would raise an ordinary exception, which the
    // crash filter would see.
    // Termination of the own process does not return; nothing else (no exit handler, no DLL's
    // detach) may run in a process whose stack cannot be trusted.
    for (;;) {
        (void)TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    }
}

}  // extern "C"

namespace pelicor {
namespace {

// This run's state folded into `cookie`: never 0 or the default, and the top 16 bits clear, as
// the platform's runtime leaves them.
std::uint64_t MixStackCookie(std::uint64_t cookie, std::uint64_t time, std::uint32_t processId,
                             std::uint32_t threadId, std::uint64_t tickCount,
                             std::uint64_t performanceCounter, std::uint64_t stackAddress) noexcept {
    cookie ^= time;
    cookie ^= threadId;
    cookie ^= processId;
    cookie ^= tickCount << 24;
    cookie ^= (performanceCounter << 32) ^ performanceCounter;
    cookie ^= stackAddress;
    cookie &= 0x0000FFFFFFFFFFFF;
    return cookie == kDefaultStackCookie || cookie == 0 ? cookie + 1 : cookie;
}

}  // namespace

void InitialiseStackCookie() noexcept {
    // A cookie the loader set is kept, with this run's state folded in rather than replacing it:
    // Wine's loader seeds its value from the tick count and the process id alone, and two
    // launchers started within one tick under a reused id were seen to get the same cookie. A
    // random value stays random with more folded in.
    const std::uint64_t loaders = __stack_chk_guard == static_cast<std::uintptr_t>(kDefaultStackCookie)
                                      ? 0
                                      : static_cast<std::uint64_t>(__stack_chk_guard);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter{};
    (void)QueryPerformanceCounter(&counter);
    const std::uint64_t time = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    __stack_chk_guard = static_cast<std::uintptr_t>(
        MixStackCookie(loaders, time, GetCurrentProcessId(), GetCurrentThreadId(), GetTickCount64(),
                       static_cast<std::uint64_t>(counter.QuadPart), reinterpret_cast<std::uintptr_t>(&now)));
}

}  // namespace pelicor
