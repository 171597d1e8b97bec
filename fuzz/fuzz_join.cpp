// JoinArguments: never a leading or trailing blank; plain elements come back joined unchanged;
// every element survives its escaping (undoing it gives the element back).
#include "fuzz/fuzz_input.h"
#include "text/command_line.h"

using namespace pelicor;

namespace {

bool IsPlain(const std::wstring& element) {
    return !element.empty() && element.find_first_of(L" \"'") == std::wstring::npos;
}

// Undoes one element's quoting and escaping.
std::wstring Unescape(std::wstring text, bool hadBlank) {
    if (hadBlank) text = text.substr(1, text.size() - 2);
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && (text[i + 1] == L'"' || text[i + 1] == L'\''))
            continue;
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    std::vector<std::wstring> storage;
    std::vector<bool> isNull;
    while (!input.Empty() && storage.size() < 16) {
        isNull.push_back(input.Integer<std::uint8_t>() % 7 == 0);
        storage.push_back(input.Text(40));
    }
    std::vector<const wchar_t*> elements;
    for (std::size_t i = 0; i < storage.size(); ++i)
        elements.push_back(isNull[i] ? nullptr : storage[i].c_str());

    const std::wstring joined = JoinArguments(elements.data(), static_cast<std::int32_t>(elements.size()));
    FUZZ_CHECK(joined.empty() || (joined.front() != L' ' && joined.back() != L' '));

    bool allPlain = true;
    std::wstring plainJoined;
    for (std::size_t i = 0; i < storage.size(); ++i) {
        if (isNull[i] || storage[i].empty()) continue;
        allPlain = allPlain && IsPlain(storage[i]);
        if (!plainJoined.empty()) plainJoined.push_back(L' ');
        plainJoined += storage[i];
    }
    if (allPlain) FUZZ_CHECK(joined == plainJoined);

    // Rebuild each element's rendering and check that undoing it gives the element back.
    std::wstring rebuilt;
    for (std::size_t i = 0; i < storage.size(); ++i) {
        if (isNull[i] || storage[i].empty()) continue;
        const wchar_t* one[] = {storage[i].c_str()};
        const std::wstring rendered = JoinArguments(one, 1);
        FUZZ_CHECK(Unescape(rendered, storage[i].find(L' ') != std::wstring::npos) == storage[i]);
        if (!rebuilt.empty()) rebuilt.push_back(L' ');
        rebuilt += rendered;
    }
    FUZZ_CHECK(joined == rebuilt);
    return 0;
}
