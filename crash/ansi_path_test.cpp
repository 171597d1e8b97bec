#include "crash/ansi_path.h"

#include <gtest/gtest.h>

namespace pelicor {
namespace {

TEST(AnsiForm, CountsEveryCharacterTheCodePageCannotSpellAsLost) {
    const struct {
        UINT codePage;
        const wchar_t* text;
        bool lossless;
    } cases[] = {
        {1252, L"C:\\Users\\Caf\u00e9", true},
        {1252, L"C:\\Users\\\u0141\u00f3d\u017a", false},  // every letter has a best-fit look-alike
        {1252, L"C:\\\u4e2d\u6587", false},
        {CP_UTF8, L"C:\\Users\\\u0141\u00f3d\u017a\\\U0001F600", true},
        {CP_UTF8,
         L"C:\\a\xD800"
         L"b",
         false},  // an unpaired surrogate, which NTFS allows in names
        {CP_UTF8, L"C:\\a\xDC00", false},
        {CP_UTF8, L"", true},
    };
    for (const auto& c : cases) {
        bool lossless = !c.lossless;
        const std::string ansi = AnsiForm(c.text, c.codePage, lossless);
        EXPECT_EQ(lossless, c.lossless) << c.codePage << " " << ansi;
    }
    bool lossless = false;
    EXPECT_EQ(AnsiForm(L"Caf\u00e9", 1252, lossless), "Caf\xe9");
}

}  // namespace
}  // namespace pelicor
