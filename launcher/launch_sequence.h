// The order of one run and the exit code each way of ending gives. The steps themselves are
// Win32 work done elsewhere; keeping the order apart lets it be tested natively with fake steps.
#pragma once

#include <cstdint>
#include <string>

namespace pelicor {

// The launcher's own exit codes. A target's exit code is passed through unchanged, so a caller
// cannot tell these apart from a target that happens to return the same values.
enum LauncherExitCode : std::uint32_t {
    kExitNothingStarted = 0,           // empty command line, or no target process obtained
    kExitNoTarget = 8,                 // the command line names no target
    kExitStartedBySameProgram = 9,     // the parent runs an executable with the launcher's name
    kExitDeactivationToolFailed = 10,  // service silent and the deactivation tool did not start
    kExitServiceStillSilent = 11,      // service silent before and after the deactivation tool
};

// The three products of command-line normalisation.
struct NormalisedCommandLine {
    std::wstring targetCommandLine;  // expanded, first token's doubled backslashes collapsed
    std::wstring targetPath;         // the program, absolute when it was given relative
    std::wstring targetArguments;    // the arguments re-quoted and joined, for a shell start
};

// One run's steps, in the order RunLaunchSequence calls them.
class LaunchSteps {
public:
    virtual ~LaunchSteps() = default;
    virtual bool IsStartedBySameProgram() = 0;
    virtual NormalisedCommandLine NormaliseCommandLine() = 0;
    // True when the service answered; `wrapLaunch` is written only then.
    virtual bool QueryReactivationService(const std::wstring& targetPath, bool& wrapLaunch) = 0;
    // True when the tool was started (and has ended, where it could be waited for).
    virtual bool RunDeactivationTool(const std::wstring& parameters) = 0;
    // Starts the target, waits for it and returns its exit code (0 when nothing started).
    virtual std::uint32_t StartTarget(const NormalisedCommandLine& target, bool wrapLaunch) = 0;
};

// Runs guard, normalisation, service question (with one deactivation-tool fallback) and the
// start, stopping at the first step that ends the run. Returns the process exit code.
std::uint32_t RunLaunchSequence(LaunchSteps& steps);

// The deactivation tool's parameters for a target: /launcher "TargetPath". The path goes in as
// it is, without escaping; it cannot hold a double quote, which no Windows path may.
std::wstring BuildDeactivationToolParameters(const std::wstring& targetPath);

}  // namespace pelicor
