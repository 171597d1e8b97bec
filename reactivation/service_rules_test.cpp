#include "reactivation/service_rules.h"

#include <gtest/gtest.h>

namespace pelicor {
namespace {

TEST(WrapLaunchFromFlags, WrapsUnlessOnlyTheSecondFlagIsSet) {
    constexpr std::int16_t kTrue = -1;  // VARIANT_TRUE
    EXPECT_TRUE(WrapLaunchFromFlags(kTrue, 0));
    EXPECT_TRUE(WrapLaunchFromFlags(kTrue, kTrue));
    EXPECT_TRUE(WrapLaunchFromFlags(0, 0));
    EXPECT_FALSE(WrapLaunchFromFlags(0, kTrue));
    EXPECT_FALSE(WrapLaunchFromFlags(0, 1));  // any non-zero value counts as true
    EXPECT_TRUE(WrapLaunchFromFlags(1, 1));
}

TEST(FileNameOf, KeepsWhatFollowsTheLastSeparator) {
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Apps\\x.exe", L"x.exe"},
        {L"C:/Apps/x.exe", L"x.exe"},
        {L"C:\\Apps/sub\\x.exe", L"x.exe"},
        {L"x.exe", L"x.exe"},
        {L"", L""},
        {L"C:\\Apps\\", L""},
        {L"\\\\srv\\share\\t.exe", L"t.exe"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileNameOf(c.path), c.expected);
    }
}

}  // namespace
}  // namespace pelicor
