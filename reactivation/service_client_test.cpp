// Runs under Wine, against the in-process stand-in service, which logs what it was asked.
#include "reactivation/service_client.h"

#include <gtest/gtest.h>

#include <algorithm>

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

BSTR WINAPI FailingAllocString(const OLECHAR*) { return nullptr; }

TEST_F(ServiceClientTest, AStringThatCannotBeAllocatedIsNeverHandedToTheServiceAsMissing) {
    const ServiceClientApi failing{&FailingAllocString};
    bool wrapLaunch = true;
    EXPECT_FALSE(QueryReactivationService(L"C:\\Apps\\x.exe", wrapLaunch, failing))
        << "no answer without a question";
    EXPECT_TRUE(wrapLaunch) << "written only when the service answered";
    {
        const ComApartment apartment(COINIT_APARTMENTTHREADED);
        LaunchWrap wrap;
        BeginLaunchWrap(L"C:\\Apps\\x.exe", wrap, failing);
        EXPECT_FALSE(wrap.ticket);
        EndLaunchWrap(wrap);
    }
    const std::vector<std::wstring> events = ServiceEventNames();
    EXPECT_EQ(std::count(events.begin(), events.end(), L"create"), 2) << "both asked for the service";
    for (const wchar_t* call : {L"QueryProgram", L"PrepareLaunch", L"CompleteLaunch"}) {
        EXPECT_EQ(std::count(events.begin(), events.end(), call), 0) << testing::Narrow(call);
    }
}

}  // namespace
}  // namespace pelicor
