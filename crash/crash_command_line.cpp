#include "crash/crash_command_line.h"

namespace pelicor {
namespace {

// Appends to a fixed buffer and remembers whether anything did not fit.
class BoundedWriter {
public:
    BoundedWriter(char* buffer, std::size_t capacity) noexcept : m_buffer(buffer), m_capacity(capacity) {}

    void Text(const char* text) noexcept {
        for (; text != nullptr && *text != '\0'; ++text) Char(*text);
    }

    // `minDigits` pads with zeros; hex digits in upper or lower case.
    void Hex(std::uint64_t value, int minDigits, bool upperCase) noexcept {
        const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[16];
        int count = 0;
        do {
            reversed[count++] = digits[value & 0xF];
            value >>= 4;
        } while (value != 0);
        while (count < minDigits && count < 16) reversed[count++] = '0';
        while (count > 0) Char(reversed[--count]);
    }

    // Terminates the text; false, with an empty text, when anything was cut.
    bool Finish() noexcept {
        if (m_capacity == 0) return false;
        if (m_overflow) {
            m_buffer[0] = '\0';
            return false;
        }
        m_buffer[m_length] = '\0';
        return true;
    }

private:
    void Char(char c) noexcept {
        if (m_length + 1 < m_capacity) {
            m_buffer[m_length++] = c;
        } else {
            m_overflow = true;
        }
    }

    char* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    bool m_overflow = false;
};

}  // namespace

bool FormatCrashToolCommandLine(char* buffer, std::size_t capacity, std::uint32_t processId,
                                std::uint32_t threadId, std::uint64_t exceptionPointers,
                                std::uint32_t eventHandle, const char* dumpFolder) {
    BoundedWriter out(buffer, capacity);
    out.Text(". -p 0x");
    out.Hex(processId, 1, false);
    out.Text(" -c 0x");
    out.Hex(threadId, 1, false);
    out.Text(" 0x");
    out.Hex(exceptionPointers, 16, true);
    out.Text(" -e 0x");
    out.Hex(eventHandle, 1, false);
    out.Text(" -D kestrov -d \"");
    out.Text(dumpFolder);
    out.Text("\" ");
    return out.Finish();
}

}  // namespace pelicor
