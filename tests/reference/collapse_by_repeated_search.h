// The backslash-collapsing rule exactly as stated, as an oracle for tests and the fuzzer: search
// from the start each time, drop one backslash of the first pair while the pair lies before the
// limit, and move the limit back by one.
#pragma once

#include <cstdint>
#include <string>

namespace pelicor::reference {

inline std::wstring CollapseByRepeatedSearch(std::wstring text, std::int32_t limit) {
    for (;;) {
        const std::size_t pos = text.find(L"\\\\");
        if (pos == std::wstring::npos || static_cast<std::int64_t>(pos) >= limit) return text;
        text.erase(pos, 1);
        --limit;
    }
}

}  // namespace pelicor::reference
