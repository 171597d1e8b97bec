// The self-launch guard and the message receiver, seen from outside the real launcher.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

class GuardTest : public LauncherTest {
protected:
    ScopedEnv m_exitCode{L"PELICOR_TEST_EXIT_CODE", L"7"};
};

TEST_F(GuardTest, ParentWithTheLaunchersNameInAnyLetterCaseStopsTheChildWithNine) {
    for (const wchar_t* name : {L"PelicorLaunch64.exe", L"PELICORLAUNCH64.EXE"}) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        // The copy elsewhere starts the built launcher, which must refuse to run under it.
        const std::wstring parent = Install(false, false, name);
        const ChildProcess child = StartProcess(parent, Quoted(parent) + L" " + Quoted(Launcher()) + L" " + Quoted(Target()));
        ASSERT_NE(child.Handle(), nullptr);
        EXPECT_EQ(WaitForExit(child, 60000), 9u) << name;
        for (const ServiceEvent& e : ServiceLog()) {
            EXPECT_EQ(e.processId, child.Id()) << "the refused launcher asked the service: " << name;
        }
        EXPECT_TRUE(Record().empty()) << name;
    }
}

TEST_F(GuardTest, DifferentlyNamedParentPasses) {
    const std::wstring parent = Install(false, false, L"OtherLauncher.exe");
    EXPECT_EQ(Launch(Quoted(Launcher()) + L" " + Quoted(Target()), RunOptions(), parent), 7u);
    EXPECT_FALSE(Record().empty());
}

struct ReceiverSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectReceivers(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ReceiverSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && lstrcmpW(className, L"WinMessageReceiverWnd") == 0) {
        search->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> ReceiverWindowsOf(DWORD processId) {
    ReceiverSearch search{processId, {}};
    EnumWindows(&CollectReceivers, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

TEST_F(LauncherTest, WhileTheTargetRunsTheLauncherOwnsOneHiddenReceiverWindowThatAnswers) {
    NamedEvent release;
    ScopedEnv wait(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"5");
    const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
    ASSERT_NE(launcher.Handle(), nullptr);

    // The window appears once the target is input-idle; nothing announces it, so look between
    // short waits on the launcher, for at most a minute.
    std::vector<HWND> windows;
    for (int glance = 0; glance < 600 && windows.empty(); ++glance) {
        if (WaitForSingleObject(launcher.Handle(), 100) == WAIT_OBJECT_0) break;
        windows = ReceiverWindowsOf(launcher.Id());
    }
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_FALSE(IsWindowVisible(windows[0]));
    EXPECT_EQ(GetParent(windows[0]), nullptr);
    DWORD_PTR answer = 1;
    EXPECT_NE(SendMessageTimeoutW(windows[0], WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0);
    EXPECT_EQ(answer, 0u) << "the default window procedure reports the empty title";
    EXPECT_EQ(ReceiverWindowsOf(launcher.Id()).size(), 1u);

    release.Set();
    EXPECT_EQ(WaitForExit(launcher, 60000), 5u);
}

TEST_F(LauncherTest, TargetsThatEndAtOnceNeverHangTheReceiversStop) {
    // The target can end before the receiver thread has a message queue; the stop must still
    // reach the thread. A hang here ends in the runner's kill and a wrong exit code.
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"4");
    for (int run = 0; run < 100; ++run) {
        RunOptions options;
        options.timeoutMs = 20000;
        ASSERT_EQ(Launch(Quoted(Target()), options), 4u) << "run " << run;
    }
}

}  // namespace
}  // namespace pelicor::testing
