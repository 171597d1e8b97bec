// The service client's decisions that need no Win32: builds natively for sanitizers and fuzzing.
#pragma once

#include <cstdint>
#include <string>

namespace pelicor {

// Whether a start must be wrapped in the service's prepare/complete calls, from the two flags of
// a successful query (VARIANT_BOOL values: 0 is false, anything else true).
bool WrapLaunchFromFlags(std::int16_t firstFlag, std::int16_t secondFlag);

// What follows the last backslash or forward slash of `path`; the whole path when it has none.
std::wstring FileNameOf(const std::wstring& path);

}  // namespace pelicor
