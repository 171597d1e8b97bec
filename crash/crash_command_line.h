// The crash-dump tool's command line. Pure and allocation-free: it runs inside the crash filter,
// where the heap may be what broke.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelicor {

// Capacity of the filter's command-line buffer, terminating null included.
constexpr std::size_t kCrashCommandLineCapacity = 4356;

// Writes `. -p 0x<pid> -c 0x<thread> 0x<16 upper-case hex digits> -e 0x<event> -D kestrov
// -d "<dumpFolder>" ` (ending in one blank) into `buffer`. Ids and the event are lower-case hex
// without padding. Never writes past `capacity`; returns false (with an empty, terminated buffer)
// when the line does not fit, so that a cut line is never used.
[[nodiscard]] bool FormatCrashToolCommandLine(char* buffer, std::size_t capacity, std::uint32_t processId,
                                              std::uint32_t threadId, std::uint64_t exceptionPointers,
                                              std::uint32_t eventHandle, const char* dumpFolder);

}  // namespace pelicor
