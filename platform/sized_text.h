// Reading text from the system calls that report their own size, whatever its length.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pelicor {

// Calls `fill(buffer, capacity)` for a call that follows the system's usual convention: it
// returns the length written (without the null) when the text fits, the capacity needed (with
// the null) when it does not, and 0 on failure. Grows the buffer until the text fits whole, so
// nothing is ever cut; returns empty on failure.
template <typename Fill>
std::wstring ReadSizedText(Fill fill) {
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    // The text can change between calls (a directory renamed); a bounded loop cannot spin.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD result = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (result == 0) {
            return std::wstring();
        }
        if (result < buffer.size()) {
            return std::wstring(buffer.data(), result);
        }
        buffer.assign(result, L'\0');
    }
    return std::wstring();
}

}  // namespace pelicor
