// The stand-in reactivation service's object and class factory, shared by the in-process DLL
// and the local-server executable. Its answers come from the environment of the process it runs
// in (under Wine a local server is started with its client's environment):
//   PELICOR_SERVICE_LOG           file that receives one line per event (UTF-16):
//                                 event TAB argument TAB apartment TAB process id
//   PELICOR_SERVICE_FIRST_FLAG    1: QueryProgram's first flag is true
//   PELICOR_SERVICE_SECOND_FLAG   1: its second flag is true
//   PELICOR_SERVICE_REFUSE        1: refuse every activation
//   PELICOR_SERVICE_REFUSE_UNTIL  a file: refuse activation until it exists
//   PELICOR_SERVICE_FAIL_QUERY    1: QueryProgram fails
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <string>

namespace pelicor::standins {

// Live objects of this module, for DllCanUnloadNow and the local server's lifetime.
extern std::atomic<long> g_liveObjects;

// Signalled on every object creation and release; the local server watches it to exit when idle.
void SetActivityEvent(HANDLE event);

// Appends one event line to the service log.
void LogEvent(const wchar_t* event, const std::wstring& argument);

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static lifetime
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

extern ClassFactory g_classFactory;

}  // namespace pelicor::standins
