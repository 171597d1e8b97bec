#include "standins/reactivation_service/registration.h"

#include <objbase.h>
#include <oleauto.h>

#include "reactivation/reactivation_service.h"

namespace pelicor::standins {
namespace {

std::wstring ClassKey() {
    wchar_t clsid[64];
    StringFromGUID2(pelicor::kClsidReactivationService, clsid, 64);
    return std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
}

HRESULT SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    }
    return HRESULT_FROM_WIN32(status);
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()); }

}  // namespace

HRESULT RegisterInprocServer(const std::wstring& dllPath) {
    DeleteTree(ClassKey());
    HRESULT result = SetValue(ClassKey(), nullptr, L"Stand-in reactivation service");
    if (SUCCEEDED(result)) result = SetValue(ClassKey() + L"\\InprocServer32", nullptr, dllPath);
    if (SUCCEEDED(result)) result = SetValue(ClassKey() + L"\\InprocServer32", L"ThreadingModel", L"Both");
    return result;
}

HRESULT RegisterLocalServer(const std::wstring& exePath) {
    DeleteTree(ClassKey());
    HRESULT result = SetValue(ClassKey(), nullptr, L"Stand-in reactivation service");
    if (SUCCEEDED(result))
        result = SetValue(ClassKey() + L"\\LocalServer32", nullptr, L"\"" + exePath + L"\"");
    if (FAILED(result)) return result;
    // Registers the interface with the automation marshaller and the library's location.
    ITypeLib* library = nullptr;
    result = LoadTypeLibEx(exePath.c_str(), REGKIND_REGISTER, &library);
    if (library != nullptr) library->Release();
    return result;
}

HRESULT UnregisterServer() {
    DeleteTree(ClassKey());
    return S_OK;
}

}  // namespace pelicor::standins
