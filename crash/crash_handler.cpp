#include "crash/crash_handler.h"

#include <shlobj.h>

#include <cstdint>

#include "crash/crash_command_line.h"
#include "platform/scoped_resources.h"

namespace pelicor {
namespace {

constexpr std::size_t kPathCapacity = MAX_PATH;
constexpr DWORD kToolWaitMs = 300000;
constexpr char kDumpSubfolder[] = "\\Norvex\\Pelicor\\CrashDumps";
constexpr char kDumpToolName[] = "norvexdumpa.exe";

// Filled once before the filter is installed, only read afterwards.
char g_dumpFolder[kPathCapacity];
char g_dumpToolPath[kPathCapacity];

// Copies `text` after `length` characters of `buffer`; false when it would not fit whole.
bool Append(char* buffer, std::size_t& length, const char* text) {
    for (; *text != '\0'; ++text) {
        if (length + 1 >= kPathCapacity) return false;
        buffer[length++] = *text;
    }
    buffer[length] = '\0';
    return true;
}

}  // namespace

bool InstallCrashHandler() noexcept {
    char localAppData[kPathCapacity] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData))) {
        return false;
    }
    std::size_t folderLength = 0;
    if (!Append(g_dumpFolder, folderLength, localAppData) ||
        !Append(g_dumpFolder, folderLength, kDumpSubfolder)) {
        return false;
    }

    char modulePath[kPathCapacity] = {};
    const DWORD moduleLength = GetModuleFileNameA(nullptr, modulePath, kPathCapacity);
    if (moduleLength == 0 || moduleLength >= kPathCapacity) {
        return false;  // a truncated path names some other file
    }
    std::size_t toolLength = 0;
    for (DWORD i = 0; i < moduleLength; ++i) {
        if (modulePath[i] == '\\') toolLength = i + 1;  // cut after the last backslash
    }
    modulePath[toolLength] = '\0';
    std::size_t written = 0;
    if (!Append(g_dumpToolPath, written, modulePath) || !Append(g_dumpToolPath, written, kDumpToolName)) {
        return false;
    }

    SetUnhandledExceptionFilter(&CrashFilter);
    return true;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) noexcept {
    return HandleCrash(exception, CrashToolStartApi());
}

LONG HandleCrash(EXCEPTION_POINTERS* exception, const CrashToolStartApi& api) noexcept {
    // Not inheritable: the tool obtains its own handle from this process, found by its id.
    const UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    char commandLine[kCrashCommandLineCapacity];
    if (!FormatCrashToolCommandLine(commandLine, sizeof(commandLine), GetCurrentProcessId(),
                                    GetCurrentThreadId(), reinterpret_cast<std::uintptr_t>(exception),
                                    static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event.Get())),
                                    g_dumpFolder)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION tool{};
    if (api.createProcess(g_dumpToolPath, commandLine, nullptr, nullptr, FALSE, BELOW_NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &startup, &tool)) {
        CloseHandle(tool.hThread);  // only the process is waited for
        const UniqueHandle process(tool.hProcess);
        // Whichever comes first: the tool has the dump and signals, or it ends.
        const HANDLE done[] = {process.Get(), event.Get()};
        (void)WaitForMultipleObjects(2, done, FALSE, kToolWaitMs);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace pelicor
