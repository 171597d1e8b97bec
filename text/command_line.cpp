#include "text/command_line.h"

namespace pelicor {

std::wstring CollapseDoubledBackslashes(const wchar_t* text, std::int32_t limit) {
    // Same result as searching the whole text from its start after every removal, in one pass:
    // the text already copied never holds a pair, so the next pair either joins the copy's last
    // character to the next one or lies further on. Pair positions only grow while the limit only
    // shrinks, so the first pair at or past the limit ends all collapsing.
    std::wstring result;
    if (text == nullptr) {
        return result;
    }
    const wchar_t* next = text;
    for (; *next != L'\0'; ++next) {
        if (*next == L'\\' && !result.empty() && result.back() == L'\\') {
            const std::int64_t pairPosition = static_cast<std::int64_t>(result.size()) - 1;
            if (pairPosition >= limit) {
                break;
            }
            --limit;
            continue;
        }
        result.push_back(*next);
    }
    result.append(next);
    return result;
}

void ReplaceAll(std::wstring& subject, const std::wstring& pattern, const std::wstring& replacement) {
    if (pattern.empty()) {
        return;
    }
    std::size_t pos = 0;
    while ((pos = subject.find(pattern, pos)) != std::wstring::npos) {
        subject.replace(pos, pattern.size(), replacement);
        pos += replacement.size();
    }
}

std::wstring JoinArguments(const wchar_t* const* elements, std::int32_t count) {
    std::wstring result;
    if (elements == nullptr) {
        return result;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (elements[i] == nullptr) {
            continue;
        }
        std::wstring copy(elements[i]);
        // Escaping comes before wrapping so that the wrapping quotes stay unescaped.
        ReplaceAll(copy, L"\"", L"\\\"");
        ReplaceAll(copy, L"'", L"\\'");
        if (copy.find(L' ') != std::wstring::npos) {
            copy.insert(copy.begin(), L'"');
            copy.push_back(L'"');
        }
        if (copy.empty()) {
            continue;
        }
        if (!result.empty()) {
            result.push_back(L' ');
        }
        result += copy;
    }
    return result;
}

const wchar_t* SkipProgramName(const wchar_t* line) noexcept {
    if (line == nullptr) {
        return nullptr;
    }
    bool inQuotes = false;
    for (; *line > L' ' || (*line != L'\0' && inQuotes); ++line) {
        if (*line == L'"') {
            inQuotes = !inQuotes;
        }
    }
    while (*line != L'\0' && *line <= L' ') {
        ++line;
    }
    return line;
}

}  // namespace pelicor
