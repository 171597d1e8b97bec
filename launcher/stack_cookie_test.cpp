#include "launcher/stack_cookie.h"

#include <gtest/gtest.h>

namespace pelicor {
namespace {

// The loader sets the launcher's cookie where its load configuration names it (Windows, Wine),
// but not always well; the entry point covers the images and systems where it does not, and
// strengthens what it set. Nothing on this thread's stack is protected while the test changes the
// cookie (tests are built without the protection).
TEST(InitialiseStackCookie, ReplacesTheDefaultAndMakesALoadersValueThisRunsOwn) {
    const std::uintptr_t saved = __stack_chk_guard;
    __stack_chk_guard = static_cast<std::uintptr_t>(kDefaultStackCookie);
    InitialiseStackCookie();
    const std::uintptr_t fromDefault = __stack_chk_guard;
    constexpr std::uintptr_t kLoaders = 0x0000123456789ABC;
    __stack_chk_guard = kLoaders;
    InitialiseStackCookie();
    const std::uintptr_t fromLoaders = __stack_chk_guard;
    __stack_chk_guard = saved;

    for (const std::uintptr_t cookie : {fromDefault, fromLoaders}) {
        EXPECT_NE(cookie, static_cast<std::uintptr_t>(kDefaultStackCookie));
        EXPECT_NE(cookie, 0u);
        EXPECT_EQ(cookie >> 48, 0u) << "the top 16 bits stay clear, as the platform's runtime leaves them";
    }
    EXPECT_NE(fromLoaders, kLoaders);
}

}  // namespace
}  // namespace pelicor
