// The stand-in service as an in-process server (ThreadingModel Both, so calls run in the
// caller's apartment). `regsvr32 StandInReactivationService.dll` registers it.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "reactivation/reactivation_service.h"
#include "standins/reactivation_service/registration.h"
#include "standins/reactivation_service/service_object.h"

namespace {
HINSTANCE g_module = nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, pelicor::kClsidReactivationService)) return CLASS_E_CLASSNOTAVAILABLE;
    return pelicor::standins::g_classFactory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return pelicor::standins::g_liveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    std::wstring path(32767, L'\0');
    path.resize(GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size())));
    return pelicor::standins::RegisterInprocServer(path);
}

STDAPI DllUnregisterServer() { return pelicor::standins::UnregisterServer(); }
