// A hidden top-level window with its own message loop on a second thread, alive while the
// launcher waits for its target, so that the launcher owns a window that answers messages.
#pragma once

#include <windows.h>

namespace pelicor {

class CWinMessageReceiver {
public:
    CWinMessageReceiver() noexcept = default;
    CWinMessageReceiver(const CWinMessageReceiver&) = delete;
    CWinMessageReceiver& operator=(const CWinMessageReceiver&) = delete;
    // Stops the thread with WM_QUIT and returns once it has ended; returns at once when no thread
    // was started. Never times out, so a live thread is never cut short.
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

private:
    void Run();

    // Signalled once the thread has a message queue. A WM_QUIT posted before that would be lost
    // (PostThreadMessageW fails with ERROR_INVALID_THREAD_ID), so the stop waits for this or for
    // the thread's end before it posts.
    HANDLE m_queueReady = nullptr;
};

}  // namespace pelicor
