#include "launcher/stack_cookie.h"

#include <gtest/gtest.h>

namespace pelicor {
namespace {

// The loader sets the launcher's cookie where its load configuration names it (Windows, Wine);
// the entry point covers the images and systems where it does not. Nothing on this thread's stack
// is protected while the test changes the cookie (tests are built without the protection).
TEST(InitialiseStackCookie, ReplacesTheDefaultOnceAndKeepsACookieTheLoaderSet) {
    const std::uintptr_t saved = __stack_chk_guard;
    __stack_chk_guard = static_cast<std::uintptr_t>(kDefaultStackCookie);
    InitialiseStackCookie();
    const std::uintptr_t first = __stack_chk_guard;
    InitialiseStackCookie();
    const std::uintptr_t second = __stack_chk_guard;
    __stack_chk_guard = saved;

    EXPECT_NE(first, static_cast<std::uintptr_t>(kDefaultStackCookie));
    EXPECT_NE(first, 0u);
    EXPECT_EQ(first >> 48, 0u) << "the top 16 bits stay clear, as the platform's runtime leaves them";
    EXPECT_EQ(second, first);
}

}  // namespace
}  // namespace pelicor
