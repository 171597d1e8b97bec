// Turns the launcher's command line into what the rest of the run reads.
#pragma once

#include "launcher/launch_sequence.h"

namespace pelicor {

// Expands %NAME% references in `commandLine` (the text after the launcher's own program name,
// possibly empty), collapses doubled backslashes inside its first token, and splits it the way
// CommandLineToArgvW does. Never truncates: an expanded line or a full path of any length the
// system can produce is kept whole. An empty or unsplittable first token gives an empty
// targetPath, which ends the run.
NormalisedCommandLine NormaliseCommandLine(const wchar_t* commandLine);

}  // namespace pelicor
