#include "launcher/message_receiver.h"

#include "crash/crash_handler.h"

namespace pelicor {
namespace {

constexpr wchar_t kWindowClass[] = L"WinMessageReceiverWnd";
constexpr DWORD kNoReceiver = 6;
// How long the stop waits for the thread's end before it posts its request again.
constexpr DWORD kStopRetryMs = 10;

}  // namespace

bool CWinMessageReceiver::Start() noexcept {
    m_thread = CreateThread(nullptr, 0, &ThreadEntry, this, 0, &m_threadId);
    return m_thread != nullptr;
}

CWinMessageReceiver::~CWinMessageReceiver() {
    if (m_thread == nullptr) {
        return;
    }
    // The post fails while the thread has no queue yet (ERROR_INVALID_THREAD_ID) and while its
    // queue holds the 10,000 posted messages a queue may hold (ERROR_NOT_ENOUGH_QUOTA), which any
    // program on the desktop can post to the window. Either passes: try again until the request
    // is taken, or the thread has ended without it.
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
        // A shortcut's hotkey comes with the start-up information that the target gets, and
        // Windows gives it to the first eligible top-level window a process creates: this one,
        // in the launcher. Two windows with one hotkey make Windows pick either at random, and
        // this one is never shown, so it holds none.
        (void)SendMessageW(m_window, WM_SETHOTKEY, 0, 0);
    }

    MSG message;
    BOOL result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace pelicor
