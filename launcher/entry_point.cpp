// The launcher's entry point, in place of the runtime's start-up code. That code copies the
// program's arguments into the heap without checking a single allocation, so a start under
// memory pressure crashed before the crash handler existed; the launcher uses none of it but the
// static initialisers, and reads its own command line. Linked with mingw-w64 only (see
// CMakeLists.txt); MSVC's runtime start-up checks its allocations and sets the stack cookie.
// Built without stack protection: it runs before the cookie is set.
#include <windows.h>

#include "text/command_line.h"
#include "launcher/stack_cookie.h"

// mingw-w64's runtime: applies the image's pseudo-relocations (data imported from DLLs) and runs
// the static initialisers, in their order, once.
extern "C" void _pei386_runtime_relocator(void);
extern "C" void __main(void);

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showCommand);

// Does for wWinMain what the runtime's start-up does: the command line after the program's own
// name, the show command of the start-up information (or SW_SHOWDEFAULT), and wWinMain's result
// as the process's exit code, whole.
extern "C" [[noreturn]] void PelicorStart() noexcept {
    // Before anything that the compiler protects runs, the static initialisers included.
    pelicor::InitialiseStackCookie();
    _pei386_runtime_relocator();
    __main();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    const int showCommand =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    // The process's own copy of its command line; wWinMain may read it, nothing writes it.
    const wchar_t* const tail = pelicor::SkipProgramName(GetCommandLineW());
    ExitProcess(static_cast<UINT>(
        wWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<PWSTR>(tail), showCommand)));
}
