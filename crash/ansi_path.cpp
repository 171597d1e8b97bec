#include "crash/ansi_path.h"

#include "platform/sized_text.h"

namespace pelicor {

std::string AnsiForm(const std::wstring& text, UINT codePage, bool& lossless) {
    // UTF-8 (a Windows 10 option for the ANSI code page) refuses the no-best-fit flag and the
    // lost-character report; it spells every character but an unpaired surrogate, which NTFS
    // allows in names and which would otherwise become U+FFFD silently: WC_ERR_INVALID_CHARS
    // makes the conversion fail instead.
    constexpr UINT kGb18030 = 54936;  // refuses the same, as Unicode's other full encoding
    const bool utf8 = codePage == CP_UTF8 || codePage == kGb18030;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const lost = utf8 ? nullptr : &usedDefault;
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, flags, text.c_str(), length, nullptr, 0, nullptr, lost);
    std::string ansi(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        (void)WideCharToMultiByte(codePage, flags, text.c_str(), length, ansi.data(), size, nullptr, lost);
    }
    lossless = (size > 0 || text.empty()) && !usedDefault;
    return ansi;
}

std::string AnsiPathOf(const std::wstring& path) {
    bool lossless = false;
    const std::string ansi = AnsiForm(path, GetACP(), lossless);
    if (lossless) {
        return ansi;
    }
    const std::wstring shortPath = ReadSizedText(
        [&](wchar_t* buffer, DWORD capacity) { return GetShortPathNameW(path.c_str(), buffer, capacity); });
    if (!shortPath.empty()) {
        std::string shortAnsi = AnsiForm(shortPath, GetACP(), lossless);
        if (lossless) {
            return shortAnsi;
        }
    }
    return ansi;
}

}  // namespace pelicor
