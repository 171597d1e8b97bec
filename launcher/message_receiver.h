// A hidden top-level window with its own message loop on a second thread, alive while the
// launcher waits for its target, so that the launcher owns a window that answers messages.
#pragma once

#include <windows.h>

#include "platform/scoped_resources.h"

namespace pelicor {

class CWinMessageReceiver {
public:
    CWinMessageReceiver() noexcept = default;
    CWinMessageReceiver(const CWinMessageReceiver&) = delete;
    CWinMessageReceiver& operator=(const CWinMessageReceiver&) = delete;
    // Stops the thread with WM_QUIT and returns once it has ended; returns at once when no thread
    // was started. Never times out, so a live thread is never cut short. The quit is posted once
    // the thread has its queue (or has ended), at once when it already has one, and posted again
    // until it is taken or the thread has ended, so a queue that others have filled to its limit
    // cannot lose it either.
    virtual ~CWinMessageReceiver();

    // Starts the thread. Set m_windowProcedure first. False when the thread could not be created;
    // the launcher then simply waits without it.
    [[nodiscard]] bool Start() noexcept;

    // The thread's entry: returns 6 at once when given no object, otherwise runs the window and
    // its message loop until WM_QUIT and returns 0.
    static DWORD WINAPI ThreadEntry(LPVOID receiver);

    WNDPROC m_windowProcedure = nullptr;
    HANDLE m_thread = nullptr;
    HWND m_window = nullptr;
    DWORD m_threadId = 0;

    // The post of the stop request; tests make it fail as a full queue does.
    decltype(&PostThreadMessageW) m_postThreadMessage = &PostThreadMessageW;
    // The loop's read; tests make it fail as it fails for a thread that cannot get a queue.
    decltype(&GetMessageW) m_getMessage = &GetMessageW;

private:
    void Run();

    // Set by the thread once it has its message queue, from when a post to it can be taken.
    UniqueHandle m_queueReady;
};

}  // namespace pelicor
