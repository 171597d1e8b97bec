#include "crash/crash_command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace pelicor {
namespace {

TEST(FormatCrashToolCommandLine, PrintsEveryFieldInItsFormat) {
    char buffer[kCrashCommandLineCapacity];
    ASSERT_TRUE(FormatCrashToolCommandLine(buffer, sizeof(buffer), 0x1a2b, 0x3c, 0x12abcdefULL, 0x1f4,
                                           "C:\\Users\\u\\AppData\\Local\\Norvex\\Pelicor\\CrashDumps"));
    EXPECT_STREQ(buffer,
                 ". -p 0x1a2b -c 0x3c 0x0000000012ABCDEF -e 0x1f4 -D kestrov -d "
                 "\"C:\\Users\\u\\AppData\\Local\\Norvex\\Pelicor\\CrashDumps\" ");
}

TEST(FormatCrashToolCommandLine, KeepsFullWidthValuesWhole) {
    char buffer[kCrashCommandLineCapacity];
    ASSERT_TRUE(
        FormatCrashToolCommandLine(buffer, sizeof(buffer), 0xFFFFFFFFu, 0, 0xFEDCBA9876543210ULL, 0, ""));
    EXPECT_STREQ(buffer, ". -p 0xffffffff -c 0x0 0xFEDCBA9876543210 -e 0x0 -D kestrov -d \"\" ");
}

TEST(FormatCrashToolCommandLine, RefusesALineThatDoesNotFitWithoutWritingPastTheBuffer) {
    char expected[kCrashCommandLineCapacity];
    ASSERT_TRUE(FormatCrashToolCommandLine(expected, sizeof(expected), 1, 2, 3, 4, "D"));
    const std::size_t needed = std::string(expected).size() + 1;

    char buffer[128];
    for (std::size_t capacity = 0; capacity <= needed; ++capacity) {
        std::string guard(sizeof(buffer), '#');
        std::copy(guard.begin(), guard.end(), buffer);
        const bool fits = FormatCrashToolCommandLine(buffer, capacity, 1, 2, 3, 4, "D");
        EXPECT_EQ(fits, capacity == needed) << capacity;
        if (capacity > 0) {
            EXPECT_STREQ(buffer, fits ? expected : "");
        }
        for (std::size_t i = capacity; i < sizeof(buffer); ++i)
            ASSERT_EQ(buffer[i], '#') << "wrote past " << capacity;
    }
}

}  // namespace
}  // namespace pelicor
