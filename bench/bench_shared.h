// What the benchmark's programs share: a named section where the target stamps the moment it
// started and the moment it is about to end, on the system-wide performance counter.
#pragma once

#include <windows.h>

namespace pelicor::bench {

struct Stamps {
    LONGLONG started;
    LONGLONG exiting;
};

constexpr wchar_t kSectionVariable[] = L"PELICOR_BENCH_SECTION";
constexpr wchar_t kRunMsVariable[] = L"PELICOR_BENCH_RUN_MS";

inline LONGLONG Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

}  // namespace pelicor::bench
