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
    (void)TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    ExitProcess(kStackBufferOverrun);  // not reached: termination of the own process never returns
}

}  // extern "C"

namespace pelicor {
namespace {

// Never the default, and the top 16 bits clear, as the platform's runtime leaves them.
std::uint64_t MixStackCookie(std::uint64_t time, std::uint32_t processId, std::uint32_t threadId,
                             std::uint64_t tickCount, std::uint64_t performanceCounter,
                             std::uint64_t stackAddress) noexcept {
    std::uint64_t cookie = time;
    cookie ^= threadId;
    cookie ^= processId;
    cookie ^= tickCount << 24;
    cookie ^= (performanceCounter << 32) ^ performanceCounter;
    cookie ^= stackAddress;
    cookie &= 0x0000FFFFFFFFFFFF;
    return cookie == kDefaultStackCookie ? cookie + 1 : cookie;
}

}  // namespace

void InitialiseStackCookie() noexcept {
    if (__stack_chk_guard != static_cast<std::uintptr_t>(kDefaultStackCookie)) {
        return;  // the loader has set it
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter{};
    (void)QueryPerformanceCounter(&counter);
    const std::uint64_t time = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    __stack_chk_guard = static_cast<std::uintptr_t>(
        MixStackCookie(time, GetCurrentProcessId(), GetCurrentThreadId(), GetTickCount64(),
                       static_cast<std::uint64_t>(counter.QuadPart), reinterpret_cast<std::uintptr_t>(&now)));
}

}  // namespace pelicor
