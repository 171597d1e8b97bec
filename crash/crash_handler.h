// Hands any exception that nothing else handles to the suite's crash-dump tool.
#pragma once

#include <windows.h>

namespace pelicor {

// Prepares the dump folder ("<local application data>\Norvex\Pelicor\CrashDumps") and the dump
// tool's path ("norvexdumpa.exe" beside the launcher) and installs CrashFilter. Returns false,
// installing nothing, when the local application-data folder is unknown or either path would not
// fit its fixed buffer: a cut path would send the dump to the wrong place or start the wrong tool.
// Run once, by a static initialiser, before wWinMain.
[[nodiscard]] bool InstallCrashHandler() noexcept;

// The process's unhandled-exception filter: starts the dump tool for this process, the faulting
// thread and `exception`, waits up to five minutes for it to end or to signal, and returns
// EXCEPTION_CONTINUE_SEARCH so that the system's default handling follows. Allocates nothing and
// takes no lock; several threads may run it at once.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) noexcept;

// The one call of the filter that tests replace: Wine ignores the priority class a process is
// created with, so only the call itself shows that the dump tool starts below normal priority.
struct CrashToolStartApi {
    decltype(&CreateProcessA) createProcess = &CreateProcessA;
};

// CrashFilter's work, with the tool's start made through `api`.
LONG HandleCrash(EXCEPTION_POINTERS* exception, const CrashToolStartApi& api) noexcept;

}  // namespace pelicor
