// Hostile command lines: each ends with a known exit code, without a crash or a hang.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

constexpr DWORD kTargetCode = 7;

class BadInputTest : public LauncherTest {
protected:
    ScopedEnv m_exitCode{L"PELICOR_TEST_EXIT_CODE", L"7"};
};

TEST_F(BadInputTest, EveryHostileLineEndsWithItsExitCode) {
    const std::wstring big(40000, L'b');
    ScopedEnv bigVariable(L"PELICOR_E2E_BIG", big);
    const std::wstring textFile = m_dir.File(L"notes.txt");
    ASSERT_TRUE(
        CloseHandle(CreateFileW(textFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    const std::wstring longArgument(32000 - Target().size() - 8, L'L');

    const struct {
        const char* name;
        std::wstring tail;
        DWORD expected;
    } cases[] = {
        {"unbalanced quote", L"\"" + Target() + L" a", 0},
        {"quote in the middle", Quoted(Target()) + L" \"a b", kTargetCode},
        {"blanks and tabs only", L"  \t \t  ", 0},
        {"a 32,000-character line", Quoted(Target()) + L" " + longArgument, kTargetCode},
        {"a variable that expands to 40,000 characters", Quoted(Target()) + L" %PELICOR_E2E_BIG%", 0},
        {"a folder as the target", Quoted(m_dir.Path()), 0},
        {"a text file as the target", Quoted(textFile), 0},
        {"a trailing dot", Quoted(Target() + L"."), kTargetCode},
        {"a trailing blank", Quoted(Target() + L" "), kTargetCode},
        {"only a percent sign", L"%", 0},
        {"only percent signs", L"%%%%", 0},
        {"an empty variable name", Quoted(Target()) + L" %%", kTargetCode},
    };
    for (const auto& c : cases) {
        DeleteFileW(RecordPath().c_str());
        RunOptions options;
        options.timeoutMs = 30000;
        EXPECT_EQ(Launch(c.tail, options), c.expected) << c.name;
        EXPECT_EQ(Record().empty(), c.expected != kTargetCode) << c.name;
    }
}

TEST_F(BadInputTest, LongLineReachesTheTargetWhole) {
    const std::wstring argument(32000 - Target().size() - 8, L'L');
    EXPECT_EQ(Launch(Quoted(Target()) + L" " + argument), kTargetCode);
    EXPECT_EQ(TargetArgv(), (std::vector<std::wstring>{Target(), argument}));
}

TEST_F(BadInputTest, CharactersOutsideTheBasicPlaneTravelWhole) {
    // U+1D49C, U+1D4B7 in the folder; U+1F600 in the file name; U+1D11E in an argument.
    TempDir folder(L"\U0001D49C\U0001D4B7 apps");
    const std::wstring target = folder.File(L"t\U0001F600.exe");
    ASSERT_TRUE(CopyFileW(Target().c_str(), target.c_str(), FALSE));
    EXPECT_EQ(Launch(Quoted(target) + L" \U0001F600 \"\U0001D11E x\""), kTargetCode);
    EXPECT_EQ(TargetArgv(), (std::vector<std::wstring>{target, L"\U0001F600", L"\U0001D11E x"}));
}

TEST_F(BadInputTest, TwentyLaunchersAtOnceEachReturnTheirOwnTargetsCode) {
    std::vector<ChildProcess> launchers;
    for (int i = 0; i < 20; ++i) {
        // Each launcher copies the environment as it stands when it starts.
        ScopedEnv code(L"PELICOR_TEST_EXIT_CODE", std::to_wstring(100 + i));
        launchers.push_back(StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target())));
        ASSERT_NE(launchers.back().Handle(), nullptr);
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(WaitForExit(launchers[i], 60000), static_cast<DWORD>(100 + i)) << "launcher " << i;
    }
}

}  // namespace
}  // namespace pelicor::testing
