// The stack cookie that the compiler's stack protection checks, and what a failed check does, for
// builds whose runtime brings neither as the platform's does (mingw-w64). MSVC's runtime has both.
#pragma once

#include <cstdint>

namespace pelicor {

// The platform's documented default for a 64-bit image. The loader replaces a cookie that holds it
// with a random value when the load configuration names the cookie; a cookie still holding it
// after that has not been initialised.
constexpr std::uint64_t kDefaultStackCookie = 0x00002B992DDFA232;

// Makes the cookie this run's own: replaces kDefaultStackCookie, as the platform's runtime does
// where no loader has set it, and folds this run's state (the time, the process and thread ids,
// the performance counter, a stack address) into a value the loader set. Call first thing in the
// entry point, before any protected function runs: a function whose frame outlives the change
// would fail its check.
void InitialiseStackCookie() noexcept;

}  // namespace pelicor

// The names the compilers' stack protection uses for the mingw-w64 target.
extern "C" {
extern std::uintptr_t __stack_chk_guard;
// Ends the process at once with STATUS_STACK_BUFFER_OVERRUN (0xC0000409): a fast fail with the
// stack-cookie code where the processor and system offer it (Windows 8 on), else a termination
// with that code. No handler, filter or dump tool runs: the stack can no longer be trusted.
[[noreturn]] void __stack_chk_fail() noexcept;
}
