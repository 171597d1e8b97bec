// Turns a fuzzer's bytes into the launcher's inputs: wide text (two bytes a character), small
// integers, and lists of strings. Everything stays bounded so that reference checks stay fast.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace pelicor::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_offset >= m_size; }

    template <typename T>
    T Integer() {
        T value{};
        const std::size_t n = std::min(sizeof(T), m_size - m_offset);
        std::memcpy(&value, m_data + m_offset, n);
        m_offset += n;
        return value;
    }

    // Up to `maxLength` characters, stopping at a 0xFFFF separator; NULs become 'a' because the
    // functions read null-terminated text. Characters from a small alphabet are favoured so that
    // backslashes, quotes, apostrophes and blanks meet often.
    std::wstring Text(std::size_t maxLength) {
        static const wchar_t kFavoured[] = {L'\\', L'"', L'\'', L' ', L'\t', L'a', L'/', L'x'};
        std::wstring text;
        while (text.size() < maxLength && m_offset + 1 < m_size) {
            const std::uint16_t unit =
                static_cast<std::uint16_t>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
            m_offset += 2;
            if (unit == 0xFFFF) break;
            wchar_t c = (unit & 0x8000) == 0 ? kFavoured[unit % 8] : static_cast<wchar_t>(unit & 0x7FFF);
            text.push_back(c == L'\0' ? L'a' : c);
        }
        return text;
    }

    std::string NarrowText(std::size_t maxLength) {
        std::string text;
        while (text.size() < maxLength && m_offset < m_size) {
            const char c = static_cast<char>(m_data[m_offset++]);
            if (c == '\0') break;
            text.push_back(c);
        }
        return text;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

// Aborts with a message when a property fails; the fuzzer saves the input that did it.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::printf("property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)

}  // namespace pelicor::fuzz
