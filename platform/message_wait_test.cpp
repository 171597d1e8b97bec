// Runs under Wine with real processes: the stand-in target waits until a test lets it go.
#include "platform/message_wait.h"

#include <gtest/gtest.h>

#include "standins/record.h"
#include "tests/e2e/process_runner.h"

namespace pelicor {
namespace {

using testing::BinDir;
using testing::ChildProcess;
using testing::NamedEvent;
using testing::Quoted;
using testing::ScopedEnv;
using testing::StartProcess;

// A target that runs until `release` is signalled.
ChildProcess StartWaitingTarget(const NamedEvent& release) {
    const ScopedEnv wait(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    const std::wstring target = BinDir() + L"\\record_target.exe";
    return StartProcess(target, Quoted(target));
}

// A hidden top-level window of the calling thread, gone with the object.
class ThreadWindow {
public:
    ThreadWindow()
        : m_window(standins::CreateHiddenTopLevelWindow(L"PelicorMessageWaitTestWnd", &DefWindowProcW)) {}
    ~ThreadWindow() { DestroyWindow(m_window); }
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

// Sends WM_NULL to a window from another thread, then lets the target go, whatever the answer.
struct Sender {
    HWND window;
    const NamedEvent* release;
    LRESULT sent = 0;
};

DWORD WINAPI SendThenRelease(LPVOID parameter) {
    auto* sender = static_cast<Sender*>(parameter);
    DWORD_PTR answer = 0;
    sender->sent = SendMessageTimeoutW(sender->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
    sender->release->Set();
    return 0;
}

TEST(WaitForProcessDispatchingMessages, AnswersMessagesSentToTheThreadsWindowsWhileTheProcessRuns) {
    NamedEvent release;
    const ChildProcess target = StartWaitingTarget(release);
    ASSERT_NE(target.Handle(), nullptr);
    const ThreadWindow window;
    ASSERT_NE(window.Get(), nullptr);
    Sender sender{window.Get(), &release};
    HANDLE thread = CreateThread(nullptr, 0, &SendThenRelease, &sender, 0, nullptr);
    ASSERT_NE(thread, nullptr);

    EXPECT_TRUE(WaitForProcessDispatchingMessages(target.Handle()));
    EXPECT_EQ(WaitForSingleObject(thread, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_NE(sender.sent, 0) << "the window did not answer while its thread waited";
}

TEST(WaitForProcessDispatchingMessages, LeavesAQuitForTheThreadsOwnLoop) {
    NamedEvent release;
    const ChildProcess target = StartWaitingTarget(release);
    ASSERT_NE(target.Handle(), nullptr);
    PostQuitMessage(17);
    release.Set();
    EXPECT_TRUE(WaitForProcessDispatchingMessages(target.Handle()));
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 17u);
}

// Waits that fail as a broken wait call would: the target is let go once the wait has failed,
// and the function must still return only once it has ended.
const NamedEvent* g_releaseOnFailure = nullptr;
int g_failedWaits = 0;

DWORD WINAPI FailingMsgWait(DWORD, const HANDLE*, DWORD, DWORD, DWORD) {
    ++g_failedWaits;
    g_releaseOnFailure->Set();
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
}

DWORD WINAPI FailingWait(HANDLE, DWORD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
}

TEST(WaitForProcessDispatchingMessages, AFailingWaitNeverEndsItBeforeTheProcess) {
    const struct {
        const char* name;
        MessageWaitApi api;
        const wchar_t* exitCode;
    } cases[] = {
        {"pumping wait fails", {&FailingMsgWait, &WaitForSingleObject}, L"0"},
        {"every wait fails", {&FailingMsgWait, &FailingWait}, L"0"},
        // The code that means "still running" cannot tell that it ended.
        {"every wait fails, the process ends with 259", {&FailingMsgWait, &FailingWait}, L"259"},
    };
    for (const auto& c : cases) {
        const ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", c.exitCode);
        NamedEvent release;
        const ChildProcess target = StartWaitingTarget(release);
        ASSERT_NE(target.Handle(), nullptr);
        g_releaseOnFailure = &release;
        g_failedWaits = 0;
        EXPECT_TRUE(WaitForProcessDispatchingMessages(target.Handle(), c.api)) << c.name;
        EXPECT_GE(g_failedWaits, 1) << c.name;
        EXPECT_EQ(WaitForSingleObject(target.Handle(), 0), static_cast<DWORD>(WAIT_OBJECT_0))
            << c.name << ": returned while the process still ran";
    }
}

TEST(WaitForProcessDispatchingMessages, ReportsFailureWhenTheProcessesStateCannotBeToldAtAll) {
    // No handle at all, with the real calls; and a handle that may be waited for but not asked
    // about (no query right) while every wait fails. Neither may pass for an ended process.
    EXPECT_FALSE(WaitForProcessDispatchingMessages(nullptr));

    NamedEvent release;
    const ChildProcess target = StartWaitingTarget(release);
    ASSERT_NE(target.Handle(), nullptr);
    HANDLE waitOnly = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), target.Handle(), GetCurrentProcess(), &waitOnly,
                                SYNCHRONIZE, FALSE, 0));
    g_releaseOnFailure = &release;
    EXPECT_FALSE(WaitForProcessDispatchingMessages(waitOnly, {&FailingMsgWait, &FailingWait}));
    CloseHandle(waitOnly);
    release.Set();
    EXPECT_EQ(WaitForSingleObject(target.Handle(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
}  // namespace pelicor
