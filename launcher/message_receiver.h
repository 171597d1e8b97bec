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
    // was started. Never times out, so a live thread is never cut short; the quit is posted again
    // until it is taken or the thread has ended, so a queue not made yet, or one that others have
    // filled to its limit, cannot lose it.
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

private:
    void Run();
};

}  // namespace pelicor
