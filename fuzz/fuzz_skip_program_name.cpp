// SkipProgramName: stays inside the line, and splits it into a name in which nothing outside
// quotes is at or below U+0020, then only such characters, then a rest that starts past them.
#include "fuzz/fuzz_input.h"
#include "text/command_line.h"

using namespace pelicor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::wstring line = input.Text(512);
    const wchar_t* const begin = line.c_str();
    const wchar_t* const rest = SkipProgramName(begin);
    const std::size_t length = std::char_traits<wchar_t>::length(begin);  // up to the first null
    FUZZ_CHECK(rest >= begin && rest <= begin + length);
    FUZZ_CHECK(*rest == L'\0' || *rest > L' ');

    bool inQuotes = false;
    const wchar_t* p = begin;
    for (; p < rest && (*p > L' ' || inQuotes); ++p) {
        if (*p == L'"') inQuotes = !inQuotes;
    }
    for (; p < rest; ++p) FUZZ_CHECK(*p <= L' ' && !inQuotes);
    return 0;
}
