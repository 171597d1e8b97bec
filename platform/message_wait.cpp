#include "platform/message_wait.h"

namespace pelicor {
namespace {

// Between retries when every wait fails: the process is then polled, not waited for.
constexpr DWORD kRetryMs = 100;

// Dispatches what is queued for this thread (PeekMessageW also delivers the messages sent to it).
// A WM_QUIT is taken off the queue and noted in `quit` and `quitCode`, for the caller to post
// again after the wait.
void DispatchQueuedMessages(bool& quit, WPARAM& quitCode) noexcept {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            quitCode = message.wParam;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Whether `process` has ended, by its exit time: its exit code cannot tell, since a process may
// end with the code that means "still running" (259).
bool HasEnded(HANDLE process, bool& known) noexcept {
    FILETIME created{}, exited{}, kernel{}, user{};
    known = GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
    return known && (exited.dwLowDateTime != 0 || exited.dwHighDateTime != 0);
}

}  // namespace

bool WaitForProcessDispatchingMessages(HANDLE process, const MessageWaitApi& api) noexcept {
    bool quit = false;
    WPARAM quitCode = 0;
    bool ended = false;
    bool known = true;
    while (!ended && known) {
        // MWMO_INPUTAVAILABLE: wake for messages already in the queue too, not only for new ones.
        const DWORD woke = api.msgWait(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            ended = true;
        } else if (woke == WAIT_OBJECT_0 + 1) {
            DispatchQueuedMessages(quit, quitCode);
        } else if (api.wait(process, INFINITE) == WAIT_OBJECT_0) {
            ended = true;  // the pumping wait failed; a plain one still serves
        } else if (!HasEnded(process, known) && known) {
            Sleep(kRetryMs);  // neither wait works, yet the process runs: poll it, never leave it
        } else {
            ended = known;
        }
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(quitCode));
    }
    return ended;
}

}  // namespace pelicor
