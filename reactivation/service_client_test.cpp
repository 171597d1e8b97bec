// Runs under Wine, against the in-process stand-in service, which logs what it was asked.
#include "reactivation/service_client.h"

#include <gtest/gtest.h>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor {
namespace {

using ServiceClientTest = testing::LauncherTest;

TEST_F(ServiceClientTest, AsksAboutThePathWithEveryDoubledBackslashCollapsed) {
    // Normalisation collapses only the program token; a path resolved against a UNC current
    // directory still starts with two backslashes when it reaches the service client.
    const struct {
        const wchar_t* given;
        const wchar_t* asked;
    } cases[] = {
        {LR"(C:\\Apps\\x.exe)", LR"(C:\Apps\x.exe)"},
        {LR"(\\server\share\dir\x.exe)", LR"(\server\share\dir\x.exe)"},
        {LR"(C:\Apps\x.exe)", LR"(C:\Apps\x.exe)"},
    };
    for (const auto& c : cases) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        bool wrapLaunch = false;
        ASSERT_TRUE(QueryReactivationService(c.given, wrapLaunch)) << c.given;
        const auto log = ServiceLog();
        ASSERT_FALSE(log.empty()) << c.given;
        std::wstring asked;
        for (const testing::ServiceEvent& e : log) {
            if (e.event == L"QueryProgram") asked = e.argument;
        }
        EXPECT_EQ(asked, c.asked) << c.given;
    }
}

}  // namespace
}  // namespace pelicor
