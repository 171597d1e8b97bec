// Entry point of the Windows test programs: GoogleTest's, plus what a run without ctest needs (the
// test package's runner): a closing count that a runner can add up, the reason of every skip once
// more at the end, and a time limit per test, so that a hang ends this program instead of the run.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTestTimeLimitMs = 120000;  // ctest's limit for one test, too
constexpr UINT kTimedOutExitCode = 3;

class RunReport final : public ::testing::EmptyTestEventListener {
public:
    explicit RunReport(std::string program) : m_program(std::move(program)) {}

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
    }

private:
    static DWORD WINAPI Watch(LPVOID self) {
        auto* report = static_cast<RunReport*>(self);
        for (;;) {
            if (WaitForSingleObject(report->m_clock, kTestTimeLimitMs) == WAIT_TIMEOUT &&
                InterlockedCompareExchange(&report->m_running, 0, 0) != 0) {
                std::printf("\n%s: %s did not end within %lu s\n%s: 0 passed, 1 failed, 0 skipped\n",
                            report->m_program.c_str(), report->m_current, kTestTimeLimitMs / 1000,
                            report->m_program.c_str());
                std::fflush(stdout);
                ExitProcess(kTimedOutExitCode);
            }
        }
    }

    std::string m_program;
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

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    auto* report = new RunReport(ProgramName());  // the listener list owns it
    if (!report->StartWatchdog()) {
        std::printf("warning: no time limit per test\n");
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(report);
    return RUN_ALL_TESTS();
}
