#include "platform/com_resources.h"

#include <gtest/gtest.h>

#include <thread>

namespace pelicor {
namespace {

APTTYPE CurrentApartment() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) ? type : static_cast<APTTYPE>(-2);
}

TEST(ComApartment, LeavesAnApartmentItCouldNotEnterAlone) {
    // A thread already in a single-threaded apartment cannot enter the multithreaded one; the
    // failed guard must not uninitialise the apartment its owner still uses.
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        { const ComApartment refused(COINIT_MULTITHREADED); }
        const APTTYPE type = CurrentApartment();
        EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
        CoUninitialize();
    }).join();
}

TEST(ComApartment, BalancesASuccessfulInitialisation) {
    std::thread([] {
        {
            const ComApartment apartment(COINIT_MULTITHREADED);
            EXPECT_EQ(CurrentApartment(), APTTYPE_MTA);
        }
        // Left entirely: the thread is in no apartment any more.
        APTTYPE type{};
        APTTYPEQUALIFIER qualifier{};
        EXPECT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);
    }).join();
}

}  // namespace
}  // namespace pelicor
