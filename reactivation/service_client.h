// The launcher's client of the reactivation service.
#pragma once

#include <string>

#include "platform/com_resources.h"
#include "reactivation/reactivation_service.h"

namespace pelicor {

// The allocation of the strings handed to the service; tests make it fail.
struct ServiceClientApi {
    decltype(&SysAllocString) allocString = &SysAllocString;
};

// Asks the service about `targetPath` (doubled backslashes collapsed) inside a multithreaded
// apartment of its own. Returns true when the service answered; only then is `wrapLaunch`
// written. Every interface and string is released, and COM left, before it returns. When the
// path's string cannot be allocated the service is not asked (a missing string is not the path)
// and the answer counts as missing.
[[nodiscard]] bool QueryReactivationService(const std::wstring& targetPath, bool& wrapLaunch,
                                            const ServiceClientApi& api = ServiceClientApi());

// What a wrapped start carries from BeginLaunchWrap to EndLaunchWrap on the main thread.
struct LaunchWrap {
    ComPtr<IReactivationService> service;
    UniqueBstr ticket;
};

// Hands the service the target's file name (long form) before the start. Must run in the
// single-threaded apartment of the start. Failures are silent and never stop the start; when the
// name's string cannot be allocated, PrepareLaunch is not called (the service is promised a
// present name), so there is no ticket to return.
void BeginLaunchWrap(const std::wstring& targetPath, LaunchWrap& wrap,
                     const ServiceClientApi& api = ServiceClientApi());

// Returns the ticket after the start attempt, whether or not a process was obtained, and
// releases the interface. Silent on failure.
void EndLaunchWrap(LaunchWrap& wrap);

}  // namespace pelicor
