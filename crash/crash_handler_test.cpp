// Runs under Wine. The dump tool's start is taken through the filter's seam, because Wine ignores
// the priority class of a new process; the rest of the filter runs for real.
#include "crash/crash_handler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/scoped_resources.h"

namespace pelicor {
namespace {

struct ToolStart {
    int calls = 0;
    DWORD startingThread = 0;  // the thread that made the start
    std::string commandLine;
    std::string application;
    BOOL inheritHandles = TRUE;
    DWORD flags = 0;
    DWORD startupSize = 0;
};
ToolStart g_start;

BOOL WINAPI RecordingCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                   LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD flags, LPVOID, LPCSTR,
                                   LPSTARTUPINFOA startup, LPPROCESS_INFORMATION) {
    ++g_start.calls;
    g_start.startingThread = GetCurrentThreadId();
    g_start.commandLine = commandLine != nullptr ? commandLine : "(null)";
    g_start.application = application != nullptr ? application : "(null)";
    g_start.inheritHandles = inheritHandles;
    g_start.flags = flags;
    g_start.startupSize = startup->cb;
    SetLastError(ERROR_FILE_NOT_FOUND);  // as if the tool were missing: nothing to wait for
    return FALSE;
}

TEST(CrashFilter, StartsTheDumpToolBesideTheLauncherBelowNormalPriorityInheritingNothing) {
    // Installing points the filter at the tool beside this test program; the filter is taken out
    // of this process again at once.
    ASSERT_TRUE(InstallCrashHandler());
    const LPTOP_LEVEL_EXCEPTION_FILTER installed = SetUnhandledExceptionFilter(nullptr);
    EXPECT_EQ(installed, &CrashFilter);

    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    EXPECT_EQ(HandleCrash(&pointers, CrashToolStartApi{&RecordingCreateProcess}), EXCEPTION_CONTINUE_SEARCH);

    ASSERT_EQ(g_start.calls, 1);
    char module[MAX_PATH] = {};
    const std::string self(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    EXPECT_EQ(g_start.application, self.substr(0, self.rfind('\\') + 1) + "norvexdumpa.exe");
    EXPECT_EQ(g_start.flags, static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(g_start.inheritHandles);
    EXPECT_EQ(g_start.startupSize, sizeof(STARTUPINFOA));
}

// After a stack overflow the filter runs on what the thread's stack guarantee keeps, behind the
// system's exception dispatch. Wine never hands a stack overflow to the filter (it ends the
// process), so the filter's real stack use is measured instead: the stack below the caller is
// painted, the filter runs with the real process start, and the deepest byte it changed tells.
constexpr std::size_t kPaintedBytes = 128 * 1024;
constexpr std::uintptr_t kCallerFrameAllowance = 1024;  // this frame's own locals lie above it
constexpr unsigned char kPaint = 0xA5;

struct FilterRun {
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    std::string program;  // started in the tool's place: a program that ends at once
    BOOL started = FALSE;
    std::size_t stackUsed = 0;
};
FilterRun g_run;

BOOL WINAPI StartProgramThatEndsAtOnce(LPCSTR, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                       LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags,
                                       LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                       LPPROCESS_INFORMATION info) {
    g_run.started = CreateProcessA(g_run.program.c_str(), commandLine, process, thread, inherit, flags,
                                   environment, directory, startup, info);
    return g_run.started;
}

DWORD WINAPI MeasureFilterStack(LPVOID) {
    volatile unsigned char top = 0;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(&top) - kCallerFrameAllowance;
    auto* const bottom = reinterpret_cast<volatile unsigned char*>(start - kPaintedBytes);
    for (std::size_t i = kPaintedBytes; i-- > 0;) bottom[i] = kPaint;  // downwards, as a stack grows

    (void)HandleCrash(&g_run.pointers, CrashToolStartApi{&StartProgramThatEndsAtOnce});

    std::size_t untouched = 0;
    while (untouched < kPaintedBytes && bottom[untouched] == kPaint) ++untouched;
    g_run.stackUsed = kPaintedBytes - untouched + kCallerFrameAllowance;
    return 0;
}

TEST(CrashFilter, StartsTheToolWithinItsStackBudget) {
    ASSERT_TRUE(InstallCrashHandler());
    SetUnhandledExceptionFilter(nullptr);
    char module[MAX_PATH] = {};
    const std::string self(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    g_run.program = self.substr(0, self.rfind('\\') + 1) + "record_target.exe";
    // After a stack overflow the faulting thread only hands the start to a thread of its own and
    // waits; after any other fault it makes the start itself (CreateProcessA's own stack use).
    const struct {
        DWORD code;
        const char* name;
    } faults[] = {{EXCEPTION_STACK_OVERFLOW, "stack overflow, start handed off"},
                  {EXCEPTION_ACCESS_VIOLATION, "access violation, start on the faulting thread"}};
    for (const auto& fault : faults) {
        g_run.record.ExceptionCode = fault.code;
        g_run.started = FALSE;
        // The whole stack committed up front, so that painting it touches no guard page.
        HANDLE thread = CreateThread(nullptr, 512 * 1024, &MeasureFilterStack, nullptr, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
        CloseHandle(thread);

        EXPECT_TRUE(g_run.started) << fault.name << ": the real process start ran";
        // Printed for every platform the tests run on: what its process start costs.
        std::cout << "filter stack use (" << fault.name << "): " << g_run.stackUsed << " bytes\n";
        EXPECT_LT(g_run.stackUsed, kCrashFilterStackBudget) << fault.name;
    }
    EXPECT_LE(kCrashFilterStackBudget, kCrashStackGuarantee / 2) << "room for the system's dispatch";
}

TEST(CrashFilter, AfterAStackOverflowTheToolStartsOnAThreadWithAFreshStack) {
    // The faulting thread then has only what its stack guarantee keeps; other faults leave it a
    // whole stack, and no thread is made for them. Either way the tool is told the faulting thread,
    // and each run on this one thread starts a tool of its own: the filter is free again after each.
    ASSERT_TRUE(InstallCrashHandler());
    SetUnhandledExceptionFilter(nullptr);
    const struct {
        DWORD code;
        bool handedOff;
    } cases[] = {{EXCEPTION_STACK_OVERFLOW, true}, {EXCEPTION_ACCESS_VIOLATION, false}};
    for (const auto& c : cases) {
        g_start = ToolStart();
        EXCEPTION_RECORD record{};
        record.ExceptionCode = c.code;
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        EXPECT_EQ(HandleCrash(&pointers, CrashToolStartApi{&RecordingCreateProcess}),
                  EXCEPTION_CONTINUE_SEARCH);
        ASSERT_EQ(g_start.calls, 1) << std::hex << c.code;
        EXPECT_EQ(g_start.startingThread != GetCurrentThreadId(), c.handedOff) << std::hex << c.code;
        char faulting[32];
        std::snprintf(faulting, sizeof(faulting), " -c 0x%lx ", GetCurrentThreadId());
        EXPECT_NE(g_start.commandLine.find(faulting), std::string::npos) << g_start.commandLine;
    }
}

// The loader lock, which a new thread takes before it runs and which a crash can leave taken.
struct LoaderLock {
    using Lock = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
    using Unlock = LONG(NTAPI*)(ULONG, ULONG_PTR);
    LoaderLock()
        : lock(reinterpret_cast<Lock>(reinterpret_cast<void (*)()>(
              GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrLockLoaderLock")))),
          unlock(reinterpret_cast<Unlock>(reinterpret_cast<void (*)()>(
              GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrUnlockLoaderLock")))) {}
    Lock lock;
    Unlock unlock;
};

DWORD WINAPI HoldTheLoaderLockAMoment(LPVOID locked) {
    const LoaderLock loader;
    ULONG_PTR cookie = 0;
    if (loader.lock(0, nullptr, &cookie) != 0) return 1;
    SetEvent(static_cast<HANDLE>(locked));
    // A start held up this long is still a prompt one: the filter gives it 2 s.
    Sleep(300);
    return static_cast<DWORD>(loader.unlock(0, cookie));
}

// The command-line buffers that the filter's runs handed the tool's start, in order.
std::vector<LPCSTR> g_commandLineBuffers;

BOOL WINAPI NotingCreateProcess(LPCSTR application, LPSTR commandLine,
                                LPSECURITY_ATTRIBUTES processAttributes,
                                LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD flags,
                                LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                LPPROCESS_INFORMATION information) {
    g_commandLineBuffers.push_back(commandLine);
    return RecordingCreateProcess(application, commandLine, processAttributes, threadAttributes,
                                  inheritHandles, flags, environment, directory, startup, information);
}

DWORD WINAPI FaultElsewhere(LPVOID) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    (void)HandleCrash(&pointers, CrashToolStartApi{&NotingCreateProcess});
    return 0;
}

TEST(CrashFilter, AHandOffThreadThatStartsWithinItsTimeDoesTheWork) {
    // Held up by the loader lock for a moment, as a busy process holds up a new thread.
    const LoaderLock loader;
    ASSERT_NE(loader.lock, nullptr);
    ASSERT_TRUE(InstallCrashHandler());
    SetUnhandledExceptionFilter(nullptr);
    g_start = ToolStart();
    const UniqueHandle locked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(locked);
    const UniqueHandle holder(CreateThread(nullptr, 0, &HoldTheLoaderLockAMoment, locked.Get(), 0, nullptr));
    ASSERT_TRUE(holder);
    ASSERT_EQ(WaitForSingleObject(locked.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    (void)HandleCrash(&pointers, CrashToolStartApi{&RecordingCreateProcess});
    EXPECT_EQ(WaitForSingleObject(holder.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));

    ASSERT_EQ(g_start.calls, 1) << "one tool start, by one thread";
    EXPECT_NE(g_start.startingThread, GetCurrentThreadId())
        << "the faulting thread gave up on a hand-off thread that started within its time";
}

TEST(CrashFilter, AHandOffThreadThatCannotStartLeavesTheWorkToTheFaultingThread) {
    // Here this thread holds the loader lock while the filter handles a stack overflow.
    const LoaderLock loader;
    ASSERT_NE(loader.lock, nullptr);
    ASSERT_NE(loader.unlock, nullptr);
    ASSERT_TRUE(InstallCrashHandler());
    SetUnhandledExceptionFilter(nullptr);
    g_start = ToolStart();
    g_commandLineBuffers.clear();
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    ULONG_PTR cookie = 0;
    ASSERT_EQ(loader.lock(0, nullptr, &cookie), 0);
    (void)HandleCrash(&pointers, CrashToolStartApi{&NotingCreateProcess});
    EXPECT_EQ(loader.unlock(0, cookie), 0);

    ASSERT_EQ(g_start.calls, 1) << "one tool start, by one thread";
    if (g_start.startingThread != GetCurrentThreadId()) {
        GTEST_SKIP() << "this platform starts a thread while another holds the loader lock";
    }
    // The abandoned thread starts now that the lock is free, and still reads the state the fault
    // left it: a later fault on another thread must get buffers of its own.
    const UniqueHandle other(CreateThread(nullptr, 0, &FaultElsewhere, nullptr, 0, nullptr));
    ASSERT_TRUE(other);
    EXPECT_EQ(WaitForSingleObject(other.Get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_EQ(g_commandLineBuffers.size(), 2u);
    EXPECT_NE(g_commandLineBuffers[1], g_commandLineBuffers[0]);
}

DWORD WINAPI InstallAndReadStackGuarantee(LPVOID result) {
    (void)InstallCrashHandler();
    SetUnhandledExceptionFilter(nullptr);
    ULONG size = 0;  // 0 asks without changing it
    *static_cast<ULONG*>(result) = SetThreadStackGuarantee(&size) ? size : 0;
    return 0;
}

TEST(CrashFilter, TheThreadThatInstallsItKeepsStackForIt) {
    // The main thread runs the static initialisers, and so the installation.
    ULONG guarantee = 0;
    HANDLE thread = CreateThread(nullptr, 0, &InstallAndReadStackGuarantee, &guarantee, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_GE(guarantee, kCrashStackGuarantee);
}

// Two threads fault at once: the first holds the filter (inside the tool's start) while the
// second runs it. Each start sees its own command-line buffer, naming its own thread.
struct ConcurrentStart {
    DWORD thread = 0;
    const char* buffer = nullptr;
    std::string commandLine;
};
ConcurrentStart g_starts[2];
LONG g_startCount = 0;
HANDLE g_firstInside = nullptr;
HANDLE g_secondDone = nullptr;

BOOL WINAPI StartHeldForTheOtherThread(LPCSTR, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                       LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                       LPPROCESS_INFORMATION) {
    const LONG index = InterlockedIncrement(&g_startCount) - 1;
    if (index < 2) g_starts[index] = {GetCurrentThreadId(), commandLine, commandLine};
    if (index == 0) {
        SetEvent(g_firstInside);
        (void)WaitForSingleObject(g_secondDone, 30000);
    } else {
        SetEvent(g_secondDone);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

DWORD WINAPI FaultWhileTheOtherIsHandled(LPVOID) {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    (void)HandleCrash(&pointers, CrashToolStartApi{&StartHeldForTheOtherThread});
    return 0;
}

TEST(CrashFilter, ASecondThreadFaultingMeanwhileRunsItsOwnToolWithPagesOfItsOwn) {
    ASSERT_TRUE(InstallCrashHandler());
    SetUnhandledExceptionFilter(nullptr);
    g_firstInside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_secondDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE first = CreateThread(nullptr, 0, &FaultWhileTheOtherIsHandled, nullptr, 0, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(WaitForSingleObject(g_firstInside, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    HANDLE second = CreateThread(nullptr, 0, &FaultWhileTheOtherIsHandled, nullptr, 0, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitForSingleObject(second, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(first, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(first);
    CloseHandle(second);
    CloseHandle(g_firstInside);
    CloseHandle(g_secondDone);

    ASSERT_EQ(g_startCount, 2) << "each faulting thread starts a tool of its own";
    EXPECT_NE(g_starts[0].buffer, g_starts[1].buffer)
        << "the second thread wrote into the first one's buffer";
    for (const ConcurrentStart& start : g_starts) {
        char own[32];
        std::snprintf(own, sizeof(own), " -c 0x%lx ", start.thread);
        EXPECT_NE(start.commandLine.find(own), std::string::npos) << start.commandLine;
    }
}

}  // namespace
}  // namespace pelicor
