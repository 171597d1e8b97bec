// Hands any exception that nothing else handles to the suite's crash-dump tool.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace pelicor {

// Stack that a thread keeps for its exception handling after a stack overflow, and so for
// CrashFilter; the filter itself needs less than kCrashFilterStackBudget of it. The rest is the
// system's exception dispatch, which runs on the same stack before the filter.
constexpr ULONG kCrashStackGuarantee = 64 * 1024;
constexpr std::size_t kCrashFilterStackBudget = 32 * 1024;

// Prepares the dump folder ("<local application data>\Norvex\Pelicor\CrashDumps") and the dump
// tool's path ("norvexdumpa.exe" beside the launcher) in ANSI text that names them (short names
// where the code page cannot spell the long ones), keeps kCrashStackGuarantee on the calling
// thread and installs CrashFilter. Returns false, installing nothing, when the local
// application-data folder is unknown or either path would not fit its fixed buffer: a cut path
// would send the dump to the wrong place or start the wrong tool. Run once, by a static
// initialiser, before wWinMain.
[[nodiscard]] bool InstallCrashHandler() noexcept;

// Keeps kCrashStackGuarantee of the calling thread's stack for its exception handling, so that a
// stack overflow on it still reaches the dump tool. Every thread of the launcher's own calls it.
bool KeepStackForCrashHandler() noexcept;

// The process's unhandled-exception filter: starts the dump tool for this process, the faulting
// thread and `exception`, waits up to five minutes for it to end or to signal, and returns
// EXCEPTION_CONTINUE_SEARCH so that the system's default handling follows. Uses no heap and takes
// no lock: the first faulting thread uses buffers prepared at start-up; any other that faults
// meanwhile runs its own tool with pages of its own.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) noexcept;

// The one call of the filter that tests replace: Wine ignores the priority class a process is
// created with, so only the call itself shows that the dump tool starts below normal priority.
struct CrashToolStartApi {
    decltype(&CreateProcessA) createProcess = &CreateProcessA;
};

// CrashFilter's work, with the tool's start made through `api`. After a stack overflow the tool
// is started, and waited for, on a thread of its own with a fresh stack.
LONG HandleCrash(EXCEPTION_POINTERS* exception, const CrashToolStartApi& api) noexcept;

}  // namespace pelicor
