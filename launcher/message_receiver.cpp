#include "launcher/message_receiver.h"

#include "crash/crash_handler.h"

namespace pelicor {
namespace {

constexpr wchar_t kWindowClass[] = L"WinMessageReceiverWnd";
constexpr DWORD kNoReceiver = 6;
// How long the stop waits for the thread's end before it posts its request again.
constexpr DWORD kStopRetryMs = 10;
constexpr UINT kHotkeyAnswerMs = 1000;

// With the start-up hotkey `hotkey`, clears it from each top-level window of this process that
// holds it.
BOOL CALLBACK ClearHotkeyOfOwnWindow(HWND window, LPARAM hotkey) {
    DWORD process = 0;
    (void)GetWindowThreadProcessId(window, &process);
    DWORD_PTR held = 0;
    // The main thread dispatches its messages while it waits; a window that cannot answer within
    // the limit keeps what it holds rather than hold this thread up.
    if (process == GetCurrentProcessId() &&
        SendMessageTimeoutW(window, WM_GETHOTKEY, 0, 0, SMTO_ABORTIFHUNG, kHotkeyAnswerMs, &held) != 0 &&
        LOWORD(held) == static_cast<WORD>(hotkey)) {
        (void)SendMessageTimeoutW(window, WM_SETHOTKEY, 0, 0, SMTO_ABORTIFHUNG, kHotkeyAnswerMs, nullptr);
    }
    return TRUE;
}

// A shortcut's hotkey comes in the start-up information that the target gets as it is, and
// Windows gives it to the first eligible top-level window a process creates: in the launcher,
// the receiver's hidden window, or one that in-process code made before it. Two windows with one
// hotkey make Windows pick either at random, so the launcher's own give it up.
void ReleaseStartupHotkey() noexcept {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    if ((startup.dwFlags & STARTF_USEHOTKEY) == 0) {
        return;
    }
    const auto hotkey = static_cast<WORD>(reinterpret_cast<UINT_PTR>(startup.hStdInput));
    (void)EnumWindows(&ClearHotkeyOfOwnWindow, static_cast<LPARAM>(hotkey));
}

}  // namespace

bool CWinMessageReceiver::Start() noexcept {
    // Without the event the stop still works: it then retries until the queue exists.
    m_queueReady.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_thread = CreateThread(nullptr, 0, &ThreadEntry, this, 0, &m_threadId);
    return m_thread != nullptr;
}

CWinMessageReceiver::~CWinMessageReceiver() {
    if (m_thread == nullptr) {
        return;
    }
    // A target that ends at once meets a thread that has only just started: its queue is awaited
    // rather than polled for, so the stop costs no retry interval. The thread sets the event
    // before anything else, or ends.
    if (m_queueReady) {
        const HANDLE ready[] = {m_thread, m_queueReady.Get()};
        (void)WaitForMultipleObjects(2, ready, FALSE, INFINITE);
    }
    // The post fails while the thread has no queue (ERROR_INVALID_THREAD_ID: no event) and while
    // its queue holds the 10,000 posted messages a queue may hold (ERROR_NOT_ENOUGH_QUOTA), which
    // any program on the desktop can post to the window. Either passes: try again until the
    // request is taken, or the thread has ended without it.
    while (!m_postThreadMessage(m_threadId, WM_QUIT, 0, 0)) {
        if (WaitForSingleObject(m_thread, kStopRetryMs) != WAIT_TIMEOUT) {
            break;
        }
    }
    (void)WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
}

DWORD WINAPI CWinMessageReceiver::ThreadEntry(LPVOID receiver) {
    if (receiver == nullptr) {
        return kNoReceiver;
    }
    static_cast<CWinMessageReceiver*>(receiver)->Run();
    return 0;
}

void CWinMessageReceiver::Run() {
    // The thread's first message call gives it its queue; from then on a stop can be posted.
    MSG message;
    (void)PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (m_queueReady) {
        (void)SetEvent(m_queueReady.Get());
    }
    // Stopped before it got this far (the target ended at once): no window is needed any more.
    if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
        return;
    }
    (void)KeepStackForCrashHandler();  // a stack overflow here must reach the dump tool too

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = m_windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    (void)RegisterClassExW(&windowClass);  // a class left from an earlier receiver serves as well
    // Style 0: a hidden top-level window, never shown; it goes with the thread.
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (m_window != nullptr) {
        ReleaseStartupHotkey();
    }

    BOOL result;
    // -1 means the thread has no queue and cannot get one (its desktop's heap is spent): going on
    // would spin for ever, and a stop could never be posted. The thread ends instead.
    while ((result = m_getMessage(&message, nullptr, 0, 0)) != 0 && result != -1) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace pelicor
