// The launcher's client of the reactivation service.
#pragma once

#include <string>

#include "platform/com_resources.h"
#include "reactivation/reactivation_service.h"

namespace pelicor {

// Asks the service about `targetPath` (doubled backslashes collapsed) inside a multithreaded
// apartment of its own. Returns true when the service answered; only then is `wrapLaunch`
// written. Every interface and string is released, and COM left, before it returns.
[[nodiscard]] bool QueryReactivationService(const std::wstring& targetPath, bool& wrapLaunch);

// What a wrapped start carries from BeginLaunchWrap to EndLaunchWrap on the main thread.
struct LaunchWrap {
    ComPtr<IReactivationService> service;
    UniqueBstr ticket;
};

// Hands the service the target's file name (long form) before the start. Must run in the
// single-threaded apartment of the start. Failures are silent and never stop the start.
void BeginLaunchWrap(const std::wstring& targetPath, LaunchWrap& wrap);

// Returns the ticket after the start attempt, whether or not a process was obtained, and
// releases the interface. Silent on failure.
void EndLaunchWrap(LaunchWrap& wrap);

}  // namespace pelicor
