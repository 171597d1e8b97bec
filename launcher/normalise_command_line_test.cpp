// Runs under Wine, where the real ExpandEnvironmentStringsW, CommandLineToArgvW and
// GetFullPathNameW do the work.
#include "launcher/normalise_command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/e2e/process_runner.h"

namespace pelicor {
namespace {

std::wstring CurrentDirectoryJoined(const std::wstring& name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    std::wstring directory(buffer.data(), length);
    if (directory.back() != L'\\') directory.push_back(L'\\');
    return directory + name;
}

std::wstring OwnPath() {
    std::vector<wchar_t> buffer(32768);
    return std::wstring(buffer.data(),
                        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
}

struct NormaliseCase {
    const wchar_t* commandLine;
    const wchar_t* targetCommandLine;  // nullptr: unchanged
    std::wstring targetPath;
    const wchar_t* targetArguments;
};

TEST(NormaliseCommandLine, SplitsCollapsesAndRequotes) {
    const std::wstring tool = CurrentDirectoryJoined(L"tool.exe");
    const NormaliseCase cases[] = {
        {L"\"C:\\\\Tools\\\\My App\\\\run.exe\" -x C:\\\\data",
         L"\"C:\\Tools\\My App\\run.exe\" -x C:\\\\data", L"C:\\Tools\\My App\\run.exe", L"-x C:\\\\data"},
        {L"C:\\\\\\a.exe", L"C:\\a.exe", L"C:\\a.exe", L""},
        {L"\\\\srv\\share\\t.exe /q", L"\\srv\\share\\t.exe /q", L"\\srv\\share\\t.exe", L"/q"},
        {L"tool.exe \"a b\" it's", nullptr, tool, L"\"a b\" it\\'s"},
        {L"tool.exe \"say \\\"hi\\\"\"", nullptr, tool, L"\"say \\\"hi\\\"\""},
        {L"tool.exe \"\" last", nullptr, tool, L"last"},
        {L"tool.exe \"C:\\dir name\\\\\"", nullptr, tool, L"\"C:\\dir name\\\""},
        {L"", L"", OwnPath(), L""},
        {L"\"\" x.exe", nullptr, L"", L"x.exe"},
        {L"tool.exe \"a\tb\"", nullptr, tool, L"a\tb"},  // a tab alone is no reason to quote
        {L"C:\\x.exe a\\\\b", nullptr, L"C:\\x.exe", L"a\\\\b"},
    };
    for (const auto& c : cases) {
        const NormalisedCommandLine result = NormaliseCommandLine(c.commandLine);
        const std::wstring line = c.commandLine;
        EXPECT_EQ(result.targetCommandLine, c.targetCommandLine != nullptr ? c.targetCommandLine : line)
            << "command line: " << ::testing::PrintToString(line);
        EXPECT_EQ(result.targetPath, c.targetPath) << "command line: " << ::testing::PrintToString(line);
        EXPECT_EQ(result.targetArguments, c.targetArguments)
            << "command line: " << ::testing::PrintToString(line);
    }
}

TEST(NormaliseCommandLine, ExpandsDefinedVariablesEverywhereAndKeepsUndefinedOnes) {
    testing::ScopedEnv folder(L"PELICOR_T_DIR", L"C:\\Apps");
    testing::ScopedEnv argument(L"PELICOR_T_ARG", L"two words");
    const NormalisedCommandLine result =
        NormaliseCommandLine(L"%PELICOR_T_DIR%\\x.exe %PELICOR_T_ARG% %PELICOR_T_UNDEFINED%");
    EXPECT_EQ(result.targetCommandLine, L"C:\\Apps\\x.exe two words %PELICOR_T_UNDEFINED%");
    EXPECT_EQ(result.targetPath, L"C:\\Apps\\x.exe");
    // The value's blank takes part in the split: it brings two arguments, not one.
    EXPECT_EQ(result.targetArguments, L"two words %PELICOR_T_UNDEFINED%");
}

TEST(NormaliseCommandLine, KeepsAnExpandedLineLongerThanTheFirstBufferWhole) {
    const std::wstring value(3000, L'v');
    testing::ScopedEnv variable(L"PELICOR_T_LONG", value);
    const std::wstring argument(1500, L'a');
    const NormalisedCommandLine result =
        NormaliseCommandLine((L"C:\\x.exe " + argument + L" %PELICOR_T_LONG%").c_str());
    EXPECT_EQ(result.targetCommandLine, L"C:\\x.exe " + argument + L" " + value);
    EXPECT_EQ(result.targetArguments, argument + L" " + value);
}

TEST(NormaliseCommandLine, ResolvesALongRelativePathWhole) {
    std::wstring relative;
    for (int i = 0; i < 30; ++i) relative += L"folder" + std::to_wstring(i) + L"\\";
    relative += L"tool.exe";
    ASSERT_GT(relative.size(), 260u);
    const NormalisedCommandLine result = NormaliseCommandLine((relative + L" x").c_str());
    EXPECT_EQ(result.targetPath, CurrentDirectoryJoined(relative));
}

}  // namespace
}  // namespace pelicor

namespace pelicor {
namespace {

TEST(NormaliseCommandLine, KeepsWhatTheSystemExpandsWholeAndNeverALineItCouldOnlyExpandCut) {
    // Wine caps an expansion at 32,767 characters and reports the full size of a cut text;
    // current Windows expands past that. The system under test says which it does.
    const wchar_t* const name = L"PELICOR_T_HUGE";
    for (const std::size_t length : {std::size_t{32000}, std::size_t{40000}}) {
        const std::wstring value(length, L'b');
        ASSERT_TRUE(SetEnvironmentVariableW(name, value.c_str())) << length;
        const std::wstring line = L"C:\\x.exe %PELICOR_T_HUGE%";
        std::vector<wchar_t> buffer(4 * length, L'\0');
        const DWORD needed =
            ExpandEnvironmentStringsW(line.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        const std::wstring whole = L"C:\\x.exe " + value;
        const bool deliveredWhole = needed == whole.size() + 1 && std::wstring(buffer.data()) == whole;
        EXPECT_EQ(NormaliseCommandLine(line.c_str()).targetCommandLine,
                  deliveredWhole ? whole : std::wstring())
            << length << (deliveredWhole ? ": expanded whole" : ": expanded cut");
        if (length <= 32000) {
            EXPECT_TRUE(deliveredWhole) << "every system expands this much";
        }
    }
    SetEnvironmentVariableW(name, nullptr);
}

}  // namespace
}  // namespace pelicor
