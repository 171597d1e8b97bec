#include "standins/reactivation_service/service_object.h"

#include <objbase.h>
#include <oleauto.h>

#include <new>

#include "reactivation/reactivation_service.h"
#include "standins/record.h"

namespace pelicor::standins {

std::atomic<long> g_liveObjects{0};
ClassFactory g_classFactory;

namespace {

HANDLE g_activity = nullptr;

void NoteActivity() {
    if (g_activity != nullptr) SetEvent(g_activity);
}

std::wstring ApartmentName() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    if (FAILED(CoGetApartmentType(&type, &qualifier))) return L"none";
    switch (type) {
        case APTTYPE_STA:
        case APTTYPE_MAINSTA:
            return L"STA";
        case APTTYPE_MTA:
            return L"MTA";
        case APTTYPE_NA:
            return L"NA";
        default:
            return L"other";
    }
}

// A BSTR as the log shows it: a missing string differs from an empty one.
std::wstring Shown(BSTR text) { return text == nullptr ? std::wstring(L"(null)") : std::wstring(text); }

// Code of an in-process server may leave a hidden top-level window on the thread that called it
// (a notification window; oleaut32's locale window does the same): with
// PELICOR_SERVICE_LEAVE_WINDOW the stand-in does. The window signals the named event
// PELICOR_SERVICE_PING_EVENT whenever it receives the registered message "PelicorStandInPing",
// so that a test can see that the thread still dispatches messages.
LRESULT CALLBACK LeftWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT ping = RegisterWindowMessageW(L"PelicorStandInPing");
    if (message == ping && ping != 0) {
        HANDLE event =
            OpenEventW(EVENT_MODIFY_STATE, FALSE, EnvironmentValue(L"PELICOR_SERVICE_PING_EVENT").c_str());
        if (event != nullptr) {
            SetEvent(event);
            CloseHandle(event);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LeaveWindowOnCallingThread() {
    if (!EnvironmentFlag(L"PELICOR_SERVICE_LEAVE_WINDOW")) return;
    const HWND window = CreateHiddenTopLevelWindow(L"StandInServiceWnd", &LeftWindowProcedure);
    LogEvent(L"window", window != nullptr ? L"left" : L"failed");
}

bool RefusesActivation() {
    if (EnvironmentFlag(L"PELICOR_SERVICE_REFUSE")) return true;
    const std::wstring until = EnvironmentValue(L"PELICOR_SERVICE_REFUSE_UNTIL");
    return !until.empty() && GetFileAttributesW(until.c_str()) == INVALID_FILE_ATTRIBUTES;
}

class ServiceObject final : public IReactivationService {
public:
    ServiceObject() {
        ++g_liveObjects;
        LogEvent(L"create", L"");
        NoteActivity();
    }
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidReactivationService)) {
            *object = static_cast<IReactivationService*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --m_references;
        if (left == 0) {
            LogEvent(L"destroy", L"");
            delete this;
            --g_liveObjects;
            NoteActivity();
        }
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE QueryProgram(BSTR programPath, VARIANT_BOOL* firstFlag,
                                           VARIANT_BOOL* secondFlag) override {
        LogEvent(L"QueryProgram", Shown(programPath));
        if (firstFlag == nullptr || secondFlag == nullptr) return E_POINTER;
        if (EnvironmentFlag(L"PELICOR_SERVICE_FAIL_QUERY")) return E_FAIL;
        *firstFlag = EnvironmentFlag(L"PELICOR_SERVICE_FIRST_FLAG") ? VARIANT_TRUE : VARIANT_FALSE;
        *secondFlag = EnvironmentFlag(L"PELICOR_SERVICE_SECOND_FLAG") ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE PrepareLaunch(BSTR fileName, BSTR* ticket) override {
        LogEvent(L"PrepareLaunch", Shown(fileName));
        LeaveWindowOnCallingThread();
        if (ticket == nullptr) return E_POINTER;
        *ticket = SysAllocString((L"ticket:" + Shown(fileName)).c_str());
        return *ticket != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE CompleteLaunch(BSTR ticket) override {
        LogEvent(L"CompleteLaunch", Shown(ticket));
        return S_OK;
    }

private:
    ~ServiceObject() = default;
    std::atomic<long> m_references{1};
};

}  // namespace

void SetActivityEvent(HANDLE event) { g_activity = event; }

void LogEvent(const wchar_t* event, const std::wstring& argument) {
    AppendToFile(EnvironmentValue(L"PELICOR_SERVICE_LOG"),
                 std::wstring(event) + L"\t" + argument + L"\t" + ApartmentName() + L"\t" +
                     std::to_wstring(GetCurrentProcessId()) + L"\n");
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (RefusesActivation()) {
        LogEvent(L"refused", L"");
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    ServiceObject* service = new (std::nothrow) ServiceObject();
    if (service == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = service->QueryInterface(iid, object);
    service->Release();
    return result;
}

}  // namespace pelicor::standins
