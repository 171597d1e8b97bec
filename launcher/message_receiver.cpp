#include "launcher/message_receiver.h"

#include "crash/crash_handler.h"

namespace pelicor {
namespace {

constexpr wchar_t kWindowClass[] = L"WinMessageReceiverWnd";
constexpr DWORD kNoReceiver = 6;

}  // namespace

bool CWinMessageReceiver::Start() noexcept {
    m_queueReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_queueReady == nullptr) {
        return false;
    }
    m_thread = CreateThread(nullptr, 0, &ThreadEntry, this, 0, &m_threadId);
    return m_thread != nullptr;
}

CWinMessageReceiver::~CWinMessageReceiver() {
    if (m_thread != nullptr) {
        const HANDLE started[] = {m_queueReady, m_thread};
        (void)WaitForMultipleObjects(2, started, FALSE, INFINITE);
        // Fails only when the thread has already ended, and then there is nothing to stop.
        (void)PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        (void)WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    if (m_queueReady != nullptr) {
        CloseHandle(m_queueReady);
    }
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
    // Any call that peeks at the queue creates it.
    MSG message;
    (void)PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(m_queueReady);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = m_windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    (void)RegisterClassExW(&windowClass);  // a class left from an earlier receiver serves as well
    // Style 0: a hidden top-level window, never shown; it goes with the thread.
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);

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
