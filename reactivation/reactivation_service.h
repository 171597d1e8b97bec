// The suite's reactivation service as the launcher sees it: a COM class and interface with
// fixed identifiers. Only the operations in slots 4 to 6 are called; slot 3 keeps their places.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace pelicor {

// {5EF1CF5D-87A9-434B-8786-2A08E1C30F6C}
inline constexpr CLSID kClsidReactivationService = {
    0x5EF1CF5D, 0x87A9, 0x434B, {0x87, 0x86, 0x2A, 0x08, 0xE1, 0xC3, 0x0F, 0x6C}};
// {96C3ACEE-B917-4C7B-9232-EA98679A7A87}
inline constexpr IID kIidReactivationService = {
    0x96C3ACEE, 0xB917, 0x4C7B, {0x92, 0x32, 0xEA, 0x98, 0x67, 0x9A, 0x7A, 0x87}};

// In-process server and handler, local and remote server.
inline constexpr DWORD kReactivationServiceContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

struct IReactivationService : public IUnknown {
    // Slot 3: part of the service's interface, never called by the launcher.
    virtual HRESULT STDMETHODCALLTYPE Reserved() = 0;
    // Slot 4: succeeds when the service can be reached; the flags decide whether the start is wrapped.
    virtual HRESULT STDMETHODCALLTYPE QueryProgram(BSTR programPath, VARIANT_BOOL* firstFlag,
                                                   VARIANT_BOOL* secondFlag) = 0;
    // Slot 5: announces a start by file name; the ticket is handed back after the start.
    virtual HRESULT STDMETHODCALLTYPE PrepareLaunch(BSTR fileName, BSTR* ticket) = 0;
    // Slot 6: returns the ticket of a finished start attempt.
    virtual HRESULT STDMETHODCALLTYPE CompleteLaunch(BSTR ticket) = 0;
};

}  // namespace pelicor
