// ReplaceAll: equals splitting the original subject at its non-overlapping matches and joining
// with the replacement, so inserted text is never searched again.
#include "fuzz/fuzz_input.h"
#include "text/command_line.h"

using namespace pelicor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::wstring pattern = input.Text(4);
    const std::wstring replacement = input.Text(8);
    const std::wstring subject = input.Text(400);

    std::wstring result = subject;
    ReplaceAll(result, pattern, replacement);

    std::wstring expected;
    if (pattern.empty()) {
        expected = subject;
    } else {
        std::size_t from = 0;
        for (std::size_t at; (at = subject.find(pattern, from)) != std::wstring::npos;
             from = at + pattern.size()) {
            expected += subject.substr(from, at - from) + replacement;
        }
        expected += subject.substr(from);
    }
    FUZZ_CHECK(result == expected);
    return 0;
}
