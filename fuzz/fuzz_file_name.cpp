// FileNameOf: a suffix of the path with no separator in it, cut right after the last one.
#include "fuzz/fuzz_input.h"
#include "reactivation/service_rules.h"

using namespace pelicor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const std::wstring path = input.Text(400);
    const std::wstring name = FileNameOf(path);
    FUZZ_CHECK(name.size() <= path.size());
    FUZZ_CHECK(path.compare(path.size() - name.size(), name.size(), name) == 0);
    FUZZ_CHECK(name.find_first_of(L"\\/") == std::wstring::npos);
    if (name.size() < path.size()) {
        const wchar_t before = path[path.size() - name.size() - 1];
        FUZZ_CHECK(before == L'\\' || before == L'/');
    }
    return 0;
}
