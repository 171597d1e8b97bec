#include "launcher/message_receiver.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pelicor
