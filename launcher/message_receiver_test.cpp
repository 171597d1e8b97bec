#include "launcher/message_receiver.h"

#include <gtest/gtest.h>

#include <atomic>

#include "crash/crash_handler.h"

namespace pelicor {
namespace {

TEST(CWinMessageReceiver, ThreadWithoutAnObjectEndsAtOnceWithSix) {
    HANDLE thread = CreateThread(nullptr, 0, &CWinMessageReceiver::ThreadEntry, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 6u);
    CloseHandle(thread);
}

TEST(CWinMessageReceiver, StopRightAfterStartEndsTheThread) {
    // Destroying the receiver before its thread has a queue must neither lose the stop nor hang;
    // a hang fails the run through the test's time limit.
    for (int i = 0; i < 500; ++i) {
        CWinMessageReceiver receiver;
        receiver.m_windowProcedure = &DefWindowProcW;
        ASSERT_TRUE(receiver.Start());
    }
}

// A queue that others have filled: the post of the stop fails as Windows fails it then, a number
// of times, before the queue has room again.
int g_refusedPosts = 0;
int g_postsToRefuse = 0;

BOOL WINAPI PostToAFullQueue(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_refusedPosts < g_postsToRefuse) {
        ++g_refusedPosts;
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return PostThreadMessageW(thread, message, wParam, lParam);
}

DWORD WINAPI DestroyReceiver(LPVOID receiver) {
    delete static_cast<CWinMessageReceiver*>(receiver);
    return 0;
}

TEST(CWinMessageReceiver, StopReachesAThreadWhoseQueueIsFull) {
    for (int refused : {1, 50}) {
        g_refusedPosts = 0;
        g_postsToRefuse = refused;
        auto* receiver = new CWinMessageReceiver();
        receiver->m_windowProcedure = &DefWindowProcW;
        receiver->m_postThreadMessage = &PostToAFullQueue;
        ASSERT_TRUE(receiver->Start());
        // The stop runs apart, so that a lost stop shows as a timeout here rather than a hang.
        HANDLE stopper = CreateThread(nullptr, 0, &DestroyReceiver, receiver, 0, nullptr);
        ASSERT_NE(stopper, nullptr);
        EXPECT_EQ(WaitForSingleObject(stopper, 30000), static_cast<DWORD>(WAIT_OBJECT_0))
            << "the stop was lost after " << refused << " refused posts";
        EXPECT_EQ(g_refusedPosts, refused);
        CloseHandle(stopper);
    }
}

// A thread whose queue cannot be made (its desktop's heap spent): GetMessageW answers -1, and
// keeps answering it. After that many answers the read works again, so that a loop that took -1
// for a message comes to the stop at last instead of spinning the test run away.
std::atomic<int> g_failedReads{0};
constexpr int kReadsThatFail = 100000;

BOOL WINAPI ReadWithoutAQueue(LPMSG message, HWND window, UINT first, UINT last) {
    if (g_failedReads.fetch_add(1) < kReadsThatFail) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return GetMessageW(message, window, first, last);
}

TEST(CWinMessageReceiver, AThreadThatCannotReadItsQueueEndsAtOnce) {
    g_failedReads = 0;
    CWinMessageReceiver receiver;
    receiver.m_windowProcedure = &DefWindowProcW;
    receiver.m_getMessage = &ReadWithoutAQueue;
    ASSERT_TRUE(receiver.Start());
    EXPECT_EQ(WaitForSingleObject(receiver.m_thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the thread is still running after " << g_failedReads << " failed reads";
    EXPECT_EQ(g_failedReads, 1);
}

// The stack the receiver thread keeps for the crash handler, read back on that thread.
ULONG g_receiverGuarantee = 0;

LRESULT CALLBACK ReadStackGuarantee(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ULONG size = 0;  // 0 asks without changing it
        g_receiverGuarantee = SetThreadStackGuarantee(&size) ? size : 0;
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(CWinMessageReceiver, TheThreadKeepsStackForTheCrashHandler) {
    // The class keeps the procedure of its first registration; an earlier receiver in this
    // process registered it with another, and its windows are gone with its thread.
    (void)UnregisterClassW(L"WinMessageReceiverWnd", GetModuleHandleW(nullptr));
    CWinMessageReceiver receiver;
    receiver.m_windowProcedure = &ReadStackGuarantee;
    ASSERT_TRUE(receiver.Start());
    // The window exists once the thread has created it; the thread's queue answers only then.
    HWND window = nullptr;
    for (int glance = 0; glance < 600 && window == nullptr; ++glance) {
        if (WaitForSingleObject(receiver.m_thread, 100) != WAIT_TIMEOUT) break;
        window = FindWindowW(L"WinMessageReceiverWnd", nullptr);
        DWORD owner = window != nullptr ? GetWindowThreadProcessId(window, nullptr) : 0;
        if (owner != receiver.m_threadId) window = nullptr;
    }
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(window, WM_APP, 0, 0, SMTO_NORMAL, 10000, &answer), 0);
    EXPECT_GE(g_receiverGuarantee, kCrashStackGuarantee);
}

}  // namespace
}  // namespace pelicor
