#include "crash/crash_handler.h"

#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "crash/ansi_path.h"
#include "crash/crash_command_line.h"
#include "platform/module_path.h"
#include "platform/scoped_resources.h"

namespace pelicor {
namespace {

constexpr std::size_t kPathCapacity = MAX_PATH;
constexpr DWORD kToolWaitMs = 300000;
// A thread normally starts within milliseconds; one that does not is held by the loader lock.
constexpr DWORD kHandOffStartMs = 2000;
constexpr SIZE_T kHandOffStackReserve = 256 * 1024;
constexpr char kDumpSubfolder[] = "\\Norvex\\Pelicor\\CrashDumps";
constexpr char kDumpToolName[] = "norvexdumpa.exe";

// Filled once before the filter is installed, only read afterwards.
char g_dumpFolder[kPathCapacity];
char g_dumpToolPath[kPathCapacity];

// What the hand-off thread needs to run the tool for a faulting thread. It lives in the scratch
// memory below, which outlives any hand-off thread that ever saw it.
struct HandOff {
    EXCEPTION_POINTERS* exception;
    DWORD faultingThread;
    CrashToolStartApi api;
    HANDLE started;  // signalled once the hand-off thread has claimed the work
    LONG state;      // kHandOffWaiting, then kHandOffClaimed by the thread or kHandOffAbandoned
};
constexpr LONG kHandOffWaiting = 0;
constexpr LONG kHandOffClaimed = 1;
constexpr LONG kHandOffAbandoned = 2;

// What one run of the filter needs besides a few hundred bytes of stack. After a stack overflow
// the faulting thread has only what its stack guarantee keeps, so the large parts live here.
struct CrashScratch {
    char commandLine[kCrashCommandLineCapacity];
    STARTUPINFOA startup;
    PROCESS_INFORMATION tool;
    HandOff handOff;
};

// Prepared at start-up for the first thread that faults; 0 while free, else that thread's id.
CrashScratch g_firstCrashScratch;
LONG g_firstCrashScratchOwner = 0;

// Copies `text` into a fixed field; false when it would not fit whole.
bool CopyWhole(const std::string& text, char (&field)[kPathCapacity]) {
    if (text.size() >= kPathCapacity || text.find('\0') != std::string::npos) {
        return false;
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// Starts the tool for `exception` on thread `faultingThread` and waits for it, with all large
// state in `scratch`.
void RunDumpTool(EXCEPTION_POINTERS* exception, DWORD faultingThread, const CrashToolStartApi& api,
                 CrashScratch& scratch) noexcept {
    // Not inheritable: the tool obtains its own handle from this process, found by its id.
    const UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return;
    }
    if (!FormatCrashToolCommandLine(scratch.commandLine, sizeof(scratch.commandLine), GetCurrentProcessId(),
                                    faultingThread, reinterpret_cast<std::uintptr_t>(exception),
                                    static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event.Get())),
                                    g_dumpFolder)) {
        return;
    }
    std::memset(&scratch.startup, 0, sizeof(scratch.startup));
    scratch.startup.cb = sizeof(scratch.startup);
    std::memset(&scratch.tool, 0, sizeof(scratch.tool));
    if (api.createProcess(g_dumpToolPath, scratch.commandLine, nullptr, nullptr, FALSE,
                          BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &scratch.startup, &scratch.tool)) {
        CloseHandle(scratch.tool.hThread);  // only the process is waited for
        const UniqueHandle process(scratch.tool.hProcess);
        // Whichever comes first: the tool has the dump and signals, or it ends.
        const HANDLE done[] = {process.Get(), event.Get()};
        (void)WaitForMultipleObjects(2, done, FALSE, kToolWaitMs);
    }
}

DWORD WINAPI RunDumpToolForFaultingThread(LPVOID parameter) {
    auto& scratch = *static_cast<CrashScratch*>(parameter);
    HandOff& handOff = scratch.handOff;
    // Too late: the faulting thread gave up on this one and did the work itself.
    if (InterlockedCompareExchange(&handOff.state, kHandOffClaimed, kHandOffWaiting) != kHandOffWaiting) {
        return 0;
    }
    SetEvent(handOff.started);
    RunDumpTool(handOff.exception, handOff.faultingThread, handOff.api, scratch);
    return 0;
}

// Runs the tool for the calling thread's fault. After a stack overflow the faulting thread has
// only what its stack guarantee keeps, and process creation has been seen to fault there: the
// start and the wait then run on a thread with a fresh stack, made only now, while this one
// waits; the dump still names the faulting thread. A new thread must take the loader lock before
// it runs, which the crash may have left taken: one that has not started within kHandOffStartMs is
// abandoned and the work is done here after all. Returns false when `scratch` must never be used
// again, because a hand-off thread may still touch it.
bool RunDumpToolFor(EXCEPTION_POINTERS* exception, const CrashToolStartApi& api,
                    CrashScratch& scratch) noexcept {
    const DWORD faultingThread = GetCurrentThreadId();
    const bool stackOverflow = exception != nullptr && exception->ExceptionRecord != nullptr &&
                               exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
    if (stackOverflow) {
        UniqueHandle started(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        HandOff& handOff = scratch.handOff;
        handOff = HandOff{exception, faultingThread, api, started.Get(), kHandOffWaiting};
        if (started) {
            const UniqueHandle thread(CreateThread(nullptr, kHandOffStackReserve,
                                                   &RunDumpToolForFaultingThread, &scratch,
                                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
            const bool claimed =
                thread && (WaitForSingleObject(started.Get(), kHandOffStartMs) == WAIT_OBJECT_0 ||
                           InterlockedCompareExchange(&handOff.state, kHandOffAbandoned, kHandOffWaiting) ==
                               kHandOffClaimed);
            if (claimed) {
                // The tool's own wait is bounded, and so is this one. A thread still running may
                // not have signalled yet: it keeps the event, and the scratch.
                const bool ended =
                    WaitForSingleObject(thread.Get(), kToolWaitMs + kHandOffStartMs) == WAIT_OBJECT_0;
                if (!ended) {
                    (void)started.Release();
                }
                return ended;
            }
            // Never made, or abandoned before it started: a late thread sees that and leaves
            // without signalling, but it still reads this scratch.
            RunDumpTool(exception, faultingThread, api, scratch);
            return !thread;
        }
    }
    RunDumpTool(exception, faultingThread, api, scratch);
    return true;
}

}  // namespace

bool InstallCrashHandler() noexcept {
    wchar_t localAppData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData))) {
        return false;
    }
    const std::wstring modulePath = OwnModulePath();
    if (modulePath.empty()) {
        return false;
    }
    // The tool reads narrow text: each path is read whole in UTF-16 and handed on in a form the
    // ANSI code page can spell. The short form is taken of what exists (the folder, the launcher
    // itself); the fixed names after it are plain ASCII.
    const std::string dumpFolder = AnsiPathOf(localAppData) + kDumpSubfolder;
    std::string toolPath = AnsiPathOf(modulePath);
    toolPath.erase(toolPath.rfind('\\') + 1);  // cut after the last backslash
    toolPath += kDumpToolName;
    // A cut path would send the dump to the wrong place or start the wrong tool.
    if (!CopyWhole(dumpFolder, g_dumpFolder) || !CopyWhole(toolPath, g_dumpToolPath)) {
        return false;
    }
    (void)KeepStackForCrashHandler();  // the main thread, which runs the static initialisers
    SetUnhandledExceptionFilter(&CrashFilter);
    return true;
}

bool KeepStackForCrashHandler() noexcept {
    ULONG size = kCrashStackGuarantee;
    return SetThreadStackGuarantee(&size) != FALSE;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) noexcept {
    return HandleCrash(exception, CrashToolStartApi());
}

LONG HandleCrash(EXCEPTION_POINTERS* exception, const CrashToolStartApi& api) noexcept {
    const LONG thread = static_cast<LONG>(GetCurrentThreadId());
    const LONG owner = InterlockedCompareExchange(&g_firstCrashScratchOwner, thread, 0);
    if (owner == thread) {
        return EXCEPTION_CONTINUE_SEARCH;  // a fault inside this thread's own run of the filter
    }
    if (owner == 0) {
        // Left taken while a hand-off thread may still use it: later faults get pages of their own.
        if (RunDumpToolFor(exception, api, g_firstCrashScratch)) {
            InterlockedExchange(&g_firstCrashScratchOwner, 0);
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // Another thread is handling its own crash: this one runs its own tool all the same, with
    // scratch pages of its own. They come from the page allocator, not from the heap, which the
    // crash may have left broken or locked.
    void* const pages = VirtualAlloc(nullptr, sizeof(CrashScratch), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (pages != nullptr && RunDumpToolFor(exception, api, *static_cast<CrashScratch*>(pages))) {
        (void)VirtualFree(pages, 0, MEM_RELEASE);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace pelicor
