// CollapseDoubledBackslashes: matches the stated rule (search from the start after each
// removal), removes nothing but backslashes, and over the whole length leaves no pair.
#include "fuzz/fuzz_input.h"
#include "text/command_line.h"
#include "tests/reference/collapse_by_repeated_search.h"

using namespace pelicor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::int32_t limit = input.Integer<std::int32_t>() % 600;
    const std::wstring text = input.Text(512);

    const std::wstring result = CollapseDoubledBackslashes(text.c_str(), limit);
    FUZZ_CHECK(result == reference::CollapseByRepeatedSearch(text, limit));

    // Only backslashes go, and never more than the limit allows.
    std::size_t i = 0;
    for (const wchar_t c : text) {
        if (i < result.size() && result[i] == c) {
            ++i;
        } else {
            FUZZ_CHECK(c == L'\\');
        }
    }
    FUZZ_CHECK(i == result.size());
    FUZZ_CHECK(text.size() - result.size() <= static_cast<std::size_t>(limit > 0 ? limit : 0));

    // Over the whole length no two backslashes stay side by side, and nothing else changes.
    const std::wstring whole =
        CollapseDoubledBackslashes(text.c_str(), static_cast<std::int32_t>(text.size()));
    FUZZ_CHECK(whole.find(L"\\\\") == std::wstring::npos);
    std::wstring withoutBackslashes, wholeWithout;
    for (wchar_t c : text)
        if (c != L'\\') withoutBackslashes.push_back(c);
    for (wchar_t c : whole)
        if (c != L'\\') wholeWithout.push_back(c);
    FUZZ_CHECK(withoutBackslashes == wholeWithout);
    return 0;
}
