// Entry point of the Windows test programs: GoogleTest's, plus what a run without ctest needs (the
// test package's runner): the counts written to a file of their own (--pelicor_summary=FILE), so
// that nothing a test or a child prints can pass for them; the reason of every skip once more at
// the end; and a time limit per test, so that a hang ends this program, without a summary,
// instead of the run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/process_runner.h"

namespace {

constexpr DWORD kTestTimeLimitMs = 120000;  // ctest's limit for one test, too
constexpr UINT kTimedOutExitCode = 3;

class RunReport final : public ::testing::EmptyTestEventListener {
public:
    RunReport(std::string program, std::string summaryPath)
        : m_program(std::move(program)), m_summaryPath(std::move(summaryPath)) {}

    ~RunReport() override {
        if (m_watchdog != nullptr) CloseHandle(m_watchdog);
        if (m_clock != nullptr) CloseHandle(m_clock);
    }

    bool StartWatchdog() {
        m_clock = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_watchdog = m_clock != nullptr ? CreateThread(nullptr, 0, &Watch, this, 0, nullptr) : nullptr;
        return m_watchdog != nullptr;
    }

    void OnTestStart(const ::testing::TestInfo& test) override {
        std::snprintf(m_current, sizeof(m_current), "%s.%s", test.test_suite_name(), test.name());
        InterlockedExchange(&m_running, 1);
        SetEvent(m_clock);  // a new test: the clock starts again
    }

    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.skipped()) m_skips.push_back(std::string(m_current) + ": " + result.message());
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        InterlockedExchange(&m_running, 0);
        SetEvent(m_clock);
    }

    void OnTestProgramEnd(const ::testing::UnitTest& run) override {
        for (const std::string& skip : m_skips) std::printf("skipped: %s\n", skip.c_str());
        // A skip is never a pass: the three counts stand apart.
        std::printf("%s: %d passed, %d failed, %d skipped\n", m_program.c_str(), run.successful_test_count(),
                    run.failed_test_count(), run.skipped_test_count());
        std::fflush(stdout);
        if (!m_summaryPath.empty()) {
            // Written last and whole: a program that ends before this has no summary at all.
            if (std::FILE* summary = std::fopen(m_summaryPath.c_str(), "w")) {
                std::fprintf(summary, "%d %d %d\n", run.successful_test_count(), run.failed_test_count(),
                             run.skipped_test_count());
                std::fclose(summary);
            }
        }
    }

private:
    static DWORD WINAPI Watch(LPVOID self) {
        auto* report = static_cast<RunReport*>(self);
        for (;;) {
            if (WaitForSingleObject(report->m_clock, kTestTimeLimitMs) == WAIT_TIMEOUT &&
                InterlockedCompareExchange(&report->m_running, 0, 0) != 0) {
                std::printf("\n%s did not end within %lu s: %s ends without a summary\n", report->m_current,
                            kTestTimeLimitMs / 1000, report->m_program.c_str());
                std::fflush(stdout);
                ExitProcess(kTimedOutExitCode);
            }
        }
    }

    std::string m_program;
    std::string m_summaryPath;
    char m_current[512] = {};
    LONG m_running = 0;
    std::vector<std::string> m_skips;
    HANDLE m_clock = nullptr;
    HANDLE m_watchdog = nullptr;
};

// The program's file name without folder and extension.
std::string ProgramName() {
    char path[MAX_PATH] = {};
    std::string name(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

// Takes --pelicor_summary=FILE out of the arguments; empty when it is not there.
std::string TakeSummaryPath(int& argc, char** argv) {
    static const std::string flag = "--pelicor_summary=";
    std::string path;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).compare(0, flag.size(), flag) == 0) {
            path = std::string(argv[i]).substr(flag.size());
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return path;
}

// The runner's own check (run only on request, with --gtest_also_run_disabled_tests): a failing
// test whose output holds bytes that are not text, as a debugger's dump or a crashed child's does.
TEST(RunnerSelfCheck, DISABLED_FailsAmidBytesThatAreNotText) {
    const char bytes[] = {'\x01', '\x1a', '\xff', '\xfe', '\x00', '\r', '\x1b', '[', 'x', ':', ' ', '9'};
    std::fwrite(bytes, 1, sizeof(bytes), stdout);
    std::printf("\nlauncher_e2e_test: 40 passed, 0 failed, 0 skipped\n");  // a count that is not the count
    std::fflush(stdout);
    FAIL() << "made to fail";
}

}  // namespace

int main(int argc, char** argv) {
    // A run killed inside a test that changes the user's settings left them changed; they go back
    // before anything runs, so that one killed run cannot fail every later one.
    pelicor::testing::RestoreUserSettingsLeftBehind();
    const std::string summaryPath = TakeSummaryPath(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    auto* report = new RunReport(ProgramName(), summaryPath);  // the listener list owns it
    if (!report->StartWatchdog()) {
        std::printf("warning: no time limit per test\n");
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(report);
    return RUN_ALL_TESTS();
}
