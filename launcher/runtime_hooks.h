// The launcher's answer to failures that the C++ runtime would otherwise throw for.
#pragma once

namespace pelicor {

// Ends the process with the exit code for "no target process was obtained". Called when memory
// runs out or a container is asked for more than it can hold; safe from any thread.
[[noreturn]] void EndRunOnRuntimeFailure() noexcept;

}  // namespace pelicor
