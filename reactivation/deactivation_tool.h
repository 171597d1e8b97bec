// The fallback when the reactivation service does not answer: the suite's deactivation tool.
#pragma once

#include <string>

namespace pelicor {

// Starts "Velmora.exe" from the launcher's own folder through the shell (verb "open", shown,
// working in that folder) with `parameters`, and waits for it without time limit. Returns false
// when the shell refused the start; the shell shows its own error message then, which the
// launcher deliberately does not suppress. The tool's exit code is not looked at.
[[nodiscard]] bool RunDeactivationTool(const std::wstring& parameters);

}  // namespace pelicor
