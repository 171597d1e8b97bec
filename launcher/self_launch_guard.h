// Keeps a launcher from running as the child of another instance of itself.
#pragma once

#include <windows.h>

namespace pelicor {

// True only when the parent process could be identified and opened, was created no later than
// this process, and its executable's base file name equals the launcher's own (compared
// case-insensitively). Every failure on the way yields false, and the launch goes on.
[[nodiscard]] bool IsStartedBySameProgram() noexcept;

// The comparison behind it, for one candidate process id: true when that process still runs an
// executable with the launcher's own base name and was not created after the launcher. A process
// created later merely reuses the id of the real parent, which has gone.
[[nodiscard]] bool IsEarlierProcessOfSameProgram(DWORD processId) noexcept;

}  // namespace pelicor
