// The stand-in service as an out-of-process local server, so that the launcher is proven
// against a service in another process. "/RegServer" registers it (and its type library),
// "/UnregServer" removes it; COM starts it with "-Embedding". It serves from the
// multithreaded apartment and ends once it has been idle, with no live object, for two seconds.
// "/RegServer /settings FILE" registers a command line that names FILE, a UTF-16 file of
// NAME=VALUE lines that the server sets in its own environment when COM starts it (the stand-in
// service reads its settings from the environment; Windows gives a local server the user's
// default environment, not its client's).
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

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

// The file after "/settings" on the command line, or empty.
std::wstring SettingsPath() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring path;
    for (int i = 1; argv != nullptr && i + 1 < count; ++i) {
        if (lstrcmpiW(argv[i], L"/settings") == 0) path = argv[i + 1];
    }
    if (argv != nullptr) LocalFree(argv);
    return path;
}

// Sets every NAME=VALUE line of the UTF-16 file `path` in this process's environment.
void TakeSettings(const std::wstring& path) {
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::wstring text;
    wchar_t chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read / sizeof(wchar_t));
    CloseHandle(file);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring entry = text.substr(start, end - start);
        const std::size_t equals = entry.find(L'=');
        if (equals != std::wstring::npos && equals > 0) {
            SetEnvironmentVariableW(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str());
        }
        start = end + 1;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const std::wstring line = commandLine;
    std::wstring path(32767, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::wstring settings = SettingsPath();
    if (line.find(L"RegServer") != std::wstring::npos && line.find(L"Unreg") == std::wstring::npos) {
        return SUCCEEDED(pelicor::standins::RegisterLocalServer(path, settings)) ? 0 : 1;
    }
    TakeSettings(settings);
    if (line.find(L"UnregServer") != std::wstring::npos) {
        return SUCCEEDED(pelicor::standins::UnregisterServer()) ? 0 : 1;
    }
    return Serve();
}
