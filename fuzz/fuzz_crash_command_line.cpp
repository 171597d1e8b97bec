// FormatCrashToolCommandLine: never writes past the capacity it is given (the buffer is exactly
// that large, so ASan sees any overrun), fits exactly when the whole line fits, and a line that
// fits reads back to the values it was given.
#include <cinttypes>
#include <cstdio>

#include "crash/crash_command_line.h"
#include "fuzz/fuzz_input.h"

using namespace pelicor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::uint32_t processId = input.Integer<std::uint32_t>();
    const std::uint32_t threadId = input.Integer<std::uint32_t>();
    const std::uint64_t pointers = input.Integer<std::uint64_t>();
    const std::uint32_t event = input.Integer<std::uint32_t>();
    const std::size_t capacity = input.Integer<std::uint16_t>() % (kCrashCommandLineCapacity + 1);
    const std::string folder = input.NarrowText(300);

    std::vector<char> full(kCrashCommandLineCapacity);
    FUZZ_CHECK(FormatCrashToolCommandLine(full.data(), full.size(), processId, threadId, pointers, event,
                                          folder.c_str()));
    const std::string line = full.data();
    FUZZ_CHECK(line.size() >= 2 && line.compare(line.size() - 2, 2, "\" ") == 0);

    std::vector<char> exact(capacity);  // exactly `capacity` bytes
    const bool fits = FormatCrashToolCommandLine(exact.data(), capacity, processId, threadId, pointers, event,
                                                 folder.c_str());
    FUZZ_CHECK(fits == (line.size() + 1 <= capacity));
    if (capacity > 0) FUZZ_CHECK(std::string(exact.data()) == (fits ? line : std::string()));

    unsigned int p = 0, c = 0, e = 0;
    char address[17] = {};
    int consumed = 0;
    FUZZ_CHECK(std::sscanf(line.c_str(), ". -p 0x%x -c 0x%x 0x%16[0-9A-F] -e 0x%x -D kestrov -d \"%n", &p, &c,
                           address, &e, &consumed) == 4);
    FUZZ_CHECK(p == processId && c == threadId && e == event);
    FUZZ_CHECK(std::string(address).size() == 16 && std::strtoull(address, nullptr, 16) == pointers);
    FUZZ_CHECK(line.substr(static_cast<std::size_t>(consumed), folder.size()) == folder);
    return 0;
}
