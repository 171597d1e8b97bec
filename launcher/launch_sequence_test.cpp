#include "launcher/launch_sequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelicor {
namespace {

// Steps that record the order they ran in and answer as configured.
class FakeSteps final : public LaunchSteps {
public:
    bool sameProgram = false;
    std::wstring targetPath = L"C:\\Apps\\x.exe";
    std::vector<bool> serviceAnswers = {true};  // one per question, in order
    bool serviceWrap = false;
    bool toolStarts = true;
    std::uint32_t targetExitCode = 3;

    std::vector<std::string> calls;
    std::wstring toolParameters;
    bool startedWithWrap = false;

    bool IsStartedBySameProgram() override {
        calls.push_back("guard");
        return sameProgram;
    }
    NormalisedCommandLine NormaliseCommandLine() override {
        calls.push_back("normalise");
        return {L"x.exe a", targetPath, L"a"};
    }
    bool QueryReactivationService(const std::wstring& path, bool& wrapLaunch) override {
        EXPECT_EQ(path, targetPath);
        const std::size_t index = CountOf("query");
        calls.push_back("query");
        const bool answered = index < serviceAnswers.size() && serviceAnswers[index];
        if (answered) {
            wrapLaunch = serviceWrap;
        }
        return answered;
    }
    bool RunDeactivationTool(const std::wstring& parameters) override {
        calls.push_back("tool");
        toolParameters = parameters;
        return toolStarts;
    }
    std::uint32_t StartTarget(const NormalisedCommandLine& target, bool wrapLaunch) override {
        EXPECT_EQ(target.targetPath, targetPath);
        calls.push_back("start");
        startedWithWrap = wrapLaunch;
        return targetExitCode;
    }

private:
    std::size_t CountOf(const std::string& name) const {
        std::size_t n = 0;
        for (const auto& c : calls) n += c == name ? 1 : 0;
        return n;
    }
};

using Calls = std::vector<std::string>;

TEST(RunLaunchSequence, GuardStopsBeforeAnythingElse) {
    FakeSteps steps;
    steps.sameProgram = true;
    EXPECT_EQ(RunLaunchSequence(steps), 9u);
    EXPECT_EQ(steps.calls, Calls({"guard"}));
}

TEST(RunLaunchSequence, EmptyTargetPathEndsWithEight) {
    FakeSteps steps;
    steps.targetPath.clear();
    EXPECT_EQ(RunLaunchSequence(steps), 8u);
    EXPECT_EQ(steps.calls, Calls({"guard", "normalise"}));
}

TEST(RunLaunchSequence, AnsweredServiceStartsTargetAndPassesItsExitCode) {
    for (const std::uint32_t code : {0u, 3u, 8u, 0xC0000005u, 0xFFFFFFFFu}) {
        FakeSteps steps;
        steps.targetExitCode = code;
        EXPECT_EQ(RunLaunchSequence(steps), code);
        EXPECT_EQ(steps.calls, Calls({"guard", "normalise", "query", "start"}));
    }
}

TEST(RunLaunchSequence, WrapFlagReachesTheStart) {
    for (const bool wrap : {false, true}) {
        FakeSteps steps;
        steps.serviceWrap = wrap;
        RunLaunchSequence(steps);
        EXPECT_EQ(steps.startedWithWrap, wrap);
    }
}

TEST(RunLaunchSequence, SilentServiceAndToolFailingEndsWithTen) {
    FakeSteps steps;
    steps.serviceAnswers = {false};
    steps.toolStarts = false;
    EXPECT_EQ(RunLaunchSequence(steps), 10u);
    EXPECT_EQ(steps.calls, Calls({"guard", "normalise", "query", "tool"}));
    EXPECT_EQ(steps.toolParameters, L"/launcher \"C:\\Apps\\x.exe\"");
}

TEST(RunLaunchSequence, ServiceSilentAfterToolEndsWithEleven) {
    FakeSteps steps;
    steps.serviceAnswers = {false, false};
    EXPECT_EQ(RunLaunchSequence(steps), 11u);
    EXPECT_EQ(steps.calls, Calls({"guard", "normalise", "query", "tool", "query"}));
}

TEST(RunLaunchSequence, ServiceRepairedByToolStartsTarget) {
    FakeSteps steps;
    steps.serviceAnswers = {false, true};
    steps.serviceWrap = true;
    EXPECT_EQ(RunLaunchSequence(steps), 3u);
    EXPECT_EQ(steps.calls, Calls({"guard", "normalise", "query", "tool", "query", "start"}));
    EXPECT_TRUE(steps.startedWithWrap);
}

TEST(BuildDeactivationToolParameters, QuotesThePathUnchanged) {
    EXPECT_EQ(BuildDeactivationToolParameters(L"C:\\Program Files\\A b\\t.exe"),
              L"/launcher \"C:\\Program Files\\A b\\t.exe\"");
}

}  // namespace
}  // namespace pelicor
