// Waiting on the main thread without holding up the programs that send it messages.
#pragma once

#include <windows.h>

namespace pelicor {

// The calls the wait is made of; tests make them fail.
struct MessageWaitApi {
    decltype(&MsgWaitForMultipleObjectsEx) msgWait = &MsgWaitForMultipleObjectsEx;
    decltype(&WaitForSingleObject) wait = &WaitForSingleObject;
};

// Waits without time limit for `process` to end while dispatching the calling thread's messages,
// sent and posted alike: a thread that owns windows (in-process code may leave some on it, and a
// single-threaded apartment needs its messages dispatched) and blocks without doing so holds up
// every program that broadcasts to them. A WM_QUIT met on the way is posted again after the wait,
// so that the thread's own loop still sees it. If the waiting call fails, the wait goes on with a
// plain one rather than end while the process still runs. False only when the process's state
// cannot be told at all.
bool WaitForProcessDispatchingMessages(HANDLE process, const MessageWaitApi& api = MessageWaitApi()) noexcept;

}  // namespace pelicor
