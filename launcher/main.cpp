// Entry point: wires the real steps into the run's order and returns its exit code.
#include <windows.h>

#include "crash/crash_handler.h"
#include "launcher/launch_sequence.h"
#include "launcher/library_search.h"
#include "launcher/normalise_command_line.h"
#include "launcher/self_launch_guard.h"
#include "launcher/target_process.h"
#include "reactivation/deactivation_tool.h"
#include "reactivation/service_client.h"

namespace pelicor {
namespace {

// A DLL planted in the current directory (a document's folder, a download folder) is never loaded
// by name. First of the static initialisers in this file (they run in order), before anything
// loads a library.
const bool g_librarySearchHardened = HardenLibrarySearch();

// Installed by the runtime's start-up code before wWinMain, so that the whole run is covered.
const bool g_crashHandlerInstalled = InstallCrashHandler();

class WindowsLaunchSteps final : public LaunchSteps {
public:
    WindowsLaunchSteps(const wchar_t* commandLine, int showCommand) noexcept
        : m_commandLine(commandLine), m_showCommand(showCommand) {}

    bool IsStartedBySameProgram() override { return pelicor::IsStartedBySameProgram(); }
    NormalisedCommandLine NormaliseCommandLine() override {
        return pelicor::NormaliseCommandLine(m_commandLine);
    }
    bool QueryReactivationService(const std::wstring& targetPath, bool& wrapLaunch) override {
        return pelicor::QueryReactivationService(targetPath, wrapLaunch);
    }
    bool RunDeactivationTool(const std::wstring& parameters) override {
        return pelicor::RunDeactivationTool(parameters);
    }
    std::uint32_t StartTarget(const NormalisedCommandLine& target, bool wrapLaunch) override {
        return pelicor::StartTarget(target, wrapLaunch, m_showCommand);
    }

private:
    const wchar_t* m_commandLine;
    int m_showCommand;
};

}  // namespace
}  // namespace pelicor

// Nothing throws on the way: the launcher is built without C++ exceptions, and a failed
// allocation ends the run with kExitNothingStarted (launcher/runtime_hooks.cpp).
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int showCommand) {
    pelicor::WindowsLaunchSteps steps(commandLine, showCommand);
    // The exit code's bit pattern is kept; values above 0x7FFFFFFF come back negative here and
    // whole again in the process exit code.
    return static_cast<int>(pelicor::RunLaunchSequence(steps));
}
