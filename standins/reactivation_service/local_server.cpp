// The stand-in service as an out-of-process local server, so that the launcher is proven
// against a service in another process. "/RegServer" registers it (and its type library),
// "/UnregServer" removes it; COM starts it with "-Embedding". It serves from the
// multithreaded apartment and ends once it has been idle, with no live object, for two seconds.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "reactivation/reactivation_service.h"
#include "standins/reactivation_service/registration.h"
#include "standins/reactivation_service/service_object.h"

namespace {

constexpr DWORD kIdleMs = 2000;

int Serve() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    HANDLE activity = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    pelicor::standins::SetActivityEvent(activity);
    DWORD cookie = 0;
    HRESULT result =
        CoRegisterClassObject(pelicor::kClsidReactivationService, &pelicor::standins::g_classFactory,
                              CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (SUCCEEDED(result)) {
        pelicor::standins::LogEvent(L"serverStarted", L"");
        while (WaitForSingleObject(activity, kIdleMs) == WAIT_OBJECT_0 ||
               pelicor::standins::g_liveObjects > 0) {
        }
        CoRevokeClassObject(cookie);
    }
    pelicor::standins::SetActivityEvent(nullptr);
    CloseHandle(activity);
    CoUninitialize();
    return SUCCEEDED(result) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const std::wstring line = commandLine;
    std::wstring path(32767, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    if (line.find(L"RegServer") != std::wstring::npos && line.find(L"Unreg") == std::wstring::npos) {
        return SUCCEEDED(pelicor::standins::RegisterLocalServer(path)) ? 0 : 1;
    }
    if (line.find(L"UnregServer") != std::wstring::npos) {
        return SUCCEEDED(pelicor::standins::UnregisterServer()) ? 0 : 1;
    }
    return Serve();
}
