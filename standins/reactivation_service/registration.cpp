#include "standins/reactivation_service/registration.h"

#include <objbase.h>
#include <oleauto.h>

#include "reactivation/reactivation_service.h"

// In oleaut32 since Vista; mingw-w64's headers do not declare it.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);

namespace pelicor::standins {
namespace {

std::wstring ClassKey() {
    wchar_t clsid[64];
    StringFromGUID2(pelicor::kClsidReactivationService, clsid, 64);
    return std::wstring(L"Software\\Classes\\CLSID\\") + clsid;
}

// HKLM when this process may write there, else HKCU.
HKEY ClassesHive() {
    static const HKEY hive = [] {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return HKEY_CURRENT_USER;
        }
        RegCloseKey(key);
        return HKEY_LOCAL_MACHINE;
    }();
    return hive;
}

HRESULT SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status =
        RegCreateKeyExW(ClassesHive(), key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    }
    return HRESULT_FROM_WIN32(status);
}

// From both hives: a user's registration left behind would hide the machine's from the launcher.
void DeleteTree(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    if (ClassesHive() == HKEY_LOCAL_MACHINE) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace

HRESULT RegisterInprocServer(const std::wstring& dllPath) {
    DeleteTree(ClassKey());
    HRESULT result = SetValue(ClassKey(), nullptr, L"Stand-in reactivation service");
    if (SUCCEEDED(result)) result = SetValue(ClassKey() + L"\\InprocServer32", nullptr, dllPath);
    if (SUCCEEDED(result)) result = SetValue(ClassKey() + L"\\InprocServer32", L"ThreadingModel", L"Both");
    return result;
}

HRESULT RegisterLocalServer(const std::wstring& exePath, const std::wstring& settingsPath) {
    DeleteTree(ClassKey());
    HRESULT result = SetValue(ClassKey(), nullptr, L"Stand-in reactivation service");
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!settingsPath.empty()) commandLine += L" /settings \"" + settingsPath + L"\"";
    if (SUCCEEDED(result)) result = SetValue(ClassKey() + L"\\LocalServer32", nullptr, commandLine);
    if (FAILED(result)) return result;
    // Registers the interface with the automation marshaller and the library's location.
    ITypeLib* library = nullptr;
    if (ClassesHive() == HKEY_LOCAL_MACHINE) {
        result = LoadTypeLibEx(exePath.c_str(), REGKIND_REGISTER, &library);
    } else {
        result = LoadTypeLibEx(exePath.c_str(), REGKIND_NONE, &library);
        if (SUCCEEDED(result)) {
            std::wstring path = exePath;
            result = RegisterTypeLibForUser(library, path.data(), nullptr);
        }
    }
    if (library != nullptr) library->Release();
    return result;
}

HRESULT UnregisterServer() {
    DeleteTree(ClassKey());
    return S_OK;
}

}  // namespace pelicor::standins
