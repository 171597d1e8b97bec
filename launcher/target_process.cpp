#include "launcher/target_process.h"

#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "launcher/library_search.h"
#include "launcher/message_receiver.h"
#include "platform/com_resources.h"
#include "platform/message_wait.h"
#include "platform/scoped_resources.h"
#include "platform/sized_text.h"
#include "reactivation/service_client.h"

namespace pelicor {
namespace {

constexpr DWORD kInputIdleTimeoutMs = 10000;
// winerror.h of mingw-w64 lacks it; the value is fixed by Windows.
constexpr DWORD kErrorElevationRequired = 740;

// The launcher's current directory, or empty when it cannot be read. An empty result must be
// passed on as "no directory" (the target inherits the launcher's), never as an empty string,
// which makes both CreateProcessW and the shell start fail.
std::wstring CurrentDirectory() {
    return ReadSizedText(
        [](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); });
}

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// Flags that say what the title holds: a shortcut's path (the shell's start from a shortcut), or
// an application user model id and whether the taskbar may pin it. They go with the title.
constexpr DWORD kTitleFlags = STARTF_TITLEISLINKNAME | STARTF_TITLEISAPPID | STARTF_PREVENTPINNING;

// The target as the user asked for it: the launcher's own start-up information (show command,
// standard handles, desktop, hotkey) and inheritable handles; the system searches for the
// program. The title is the launcher's own and is not passed on, and with it the flags that
// describe it, or the target would take its own program path for a shortcut's.
// Allocates nothing: it runs inside the service's wrap, which a failed allocation must not cut
// short. `commandLine` is the writable copy that CreateProcessW may change.
UniqueHandle CreateTargetProcess(std::vector<wchar_t>& commandLine, const std::wstring& directory,
                                 const TargetStartApi& api, DWORD& error) noexcept {
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    startup.lpReserved = nullptr;  // CreateProcessW requires it
    startup.lpTitle = nullptr;
    startup.dwFlags &= ~kTitleFlags;
    PROCESS_INFORMATION info{};
    const DefaultLibrarySearchForChildren childSearch;
    if (!api.createProcess(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, OrNull(directory),
                           &startup, &info)) {
        error = GetLastError();
        return UniqueHandle();
    }
    CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

// The shell's elevated start; the shell shows its own prompt and error messages.
UniqueHandle ShellStartTarget(const NormalisedCommandLine& target, const std::wstring& directory,
                              int showCommand, const TargetStartApi& api) noexcept {
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = L"open";
    execute.lpFile = target.targetPath.c_str();
    execute.lpParameters = target.targetArguments.c_str();
    execute.lpDirectory = OrNull(directory);
    execute.nShow = showCommand;
    if (!api.shellExecute(&execute)) {
        return UniqueHandle();
    }
    return UniqueHandle(execute.hProcess);
}

// Waits for the target with the receiver's window alive, and returns the target's exit code.
std::uint32_t WaitForTarget(UniqueHandle process) {
    CWinMessageReceiver receiver;
    // Console targets return at once; only a windowed target that never settles waits it out.
    (void)WaitForInputIdle(process.Get(), kInputIdleTimeoutMs);
    receiver.m_windowProcedure = &DefWindowProcW;
    (void)receiver.Start();  // without the thread the wait goes on all the same

    // The main thread sits in a single-threaded apartment and may own windows that in-process
    // code left on it: it keeps dispatching their messages for as long as the target runs.
    DWORD exitCode = kExitNothingStarted;
    DWORD reported = 0;
    if (WaitForProcessDispatchingMessages(process.Get()) && GetExitCodeProcess(process.Get(), &reported)) {
        exitCode = reported;
    }
    process.Reset();
    return exitCode;  // the receiver stops and joins its thread here
}

}  // namespace

bool IsVistaOrLater() noexcept {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExW(&version) && version.dwMajorVersion >= 6;
}

std::uint32_t StartTarget(const NormalisedCommandLine& target, bool wrapLaunch, int showCommand,
                          const TargetStartApi& api) {
    const std::wstring directory = CurrentDirectory();
    if (target.targetCommandLine.empty()) {
        return kExitNothingStarted;
    }
    // CreateProcessW may write into the command line, so it gets a private copy, made before the
    // wrap: between the service's prepare and complete calls nothing may allocate, or a failed
    // allocation would end the run with the service's ticket never returned.
    std::vector<wchar_t> commandLine(target.targetCommandLine.begin(), target.targetCommandLine.end());
    commandLine.push_back(L'\0');
    // The wrap's service object and the shell start live in this apartment.
    const ComApartment apartment(COINIT_APARTMENTTHREADED);

    LaunchWrap wrap;
    if (wrapLaunch) {
        BeginLaunchWrap(target.targetPath, wrap);
    }
    DWORD error = ERROR_SUCCESS;
    UniqueHandle process = CreateTargetProcess(commandLine, directory, api, error);
    if (!process && error == kErrorElevationRequired && IsVistaOrLater()) {
        process = ShellStartTarget(target, directory, showCommand, api);
    }
    if (wrapLaunch) {
        EndLaunchWrap(wrap);
    }
    if (!process) {
        return kExitNothingStarted;
    }

    return WaitForTarget(std::move(process));
}

}  // namespace pelicor
