// Starting the target, waiting for it and taking over its exit code.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "launcher/launch_sequence.h"

namespace pelicor {

// The calls of the start that tests replace: Wine never answers ERROR_ELEVATION_REQUIRED, so
// the shell fallback can only be reached by a process creation made to fail with it; and Wine
// starts a program whatever verb the shell is given, so only the call itself shows the verb.
struct TargetStartApi {
    decltype(&CreateProcessW) createProcess = &CreateProcessW;
    decltype(&ShellExecuteExW) shellExecute = &ShellExecuteExW;
};

// Starts `target.targetCommandLine` with the launcher's own start-up information, inheritable
// handles and current directory; falls back to a shell start of targetPath with targetArguments
// and `showCommand` when Windows demands elevation. Waits for the target without time limit and
// returns its exit code, or 0 when no process was obtained. Runs inside its own single-threaded
// COM apartment. With `wrapLaunch` the start is wrapped in the service's prepare/complete calls.
std::uint32_t StartTarget(const NormalisedCommandLine& target, bool wrapLaunch, int showCommand,
                          const TargetStartApi& api = TargetStartApi());

// True when the system reports a major version of 6 or more.
[[nodiscard]] bool IsVistaOrLater() noexcept;

}  // namespace pelicor
