// Stand-in for the suite's crash-dump tool. Reads the launcher's command line
//   . -p 0x<pid> -c 0x<thread> 0x<exception pointers> -e 0x<event> -D kestrov -d "<folder>"
// writes a real minidump of that process, thread and exception into the folder (creating it),
// obtains the launcher's event through the process id and signals it. Records the command line,
// the dump's path, its own priority class and "signalled=1" in PELICOR_DUMP_RECORD. With
// PELICOR_DUMP_HOLD_EVENT it then stays alive until that named event is signalled, to show the launcher
// stopped waiting for it.
#include <windows.h>
#include <dbghelp.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "standins/record.h"

using namespace pelicor::standins;

namespace {

constexpr DWORD kLongestHoldMs = 120000;

std::uint64_t Hex(const wchar_t* text) { return std::wcstoull(text, nullptr, 16); }

struct Request {
    DWORD processId = 0;
    DWORD threadId = 0;
    std::uint64_t exceptionPointers = 0;
    std::uint64_t event = 0;
    std::wstring folder;
};

bool Parse(Request& request) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const bool ok = argv != nullptr && count == 12 && std::wstring(argv[1]) == L"-p" &&
                    std::wstring(argv[3]) == L"-c" && std::wstring(argv[6]) == L"-e" &&
                    std::wstring(argv[8]) == L"-D" && std::wstring(argv[10]) == L"-d";
    if (ok) {
        request.processId = static_cast<DWORD>(Hex(argv[2]));
        request.threadId = static_cast<DWORD>(Hex(argv[4]));
        request.exceptionPointers = Hex(argv[5]);
        request.event = Hex(argv[7]);
        request.folder = argv[11];
    }
    LocalFree(argv);
    return ok;
}

std::wstring WriteDump(HANDLE process, const Request& request) {
    SHCreateDirectoryExW(nullptr, request.folder.c_str(), nullptr);
    const std::wstring path =
        request.folder + L"\\PelicorLaunch64-" + std::to_wstring(request.processId) + L".dmp";
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"";
    MINIDUMP_EXCEPTION_INFORMATION exception{};
    exception.ThreadId = request.threadId;
    exception.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(request.exceptionPointers);
    exception.ClientPointers = TRUE;  // the address lies in the launcher's memory
    // A minidump needs no symbols, but Wine's MiniDumpWriteDump loads them for every module and
    // searches for PDBs through the whole current folder; its PDB reader faults on lld's PDBs
    // and leaves its heap corrupt. A symbol handler of our own, with an empty search path and
    // deferred loads, keeps it from looking at all.
    SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
    const BOOL symbols = SymInitializeW(process, L"", FALSE);
    const BOOL written =
        MiniDumpWriteDump(process, request.processId, file, MiniDumpNormal, &exception, nullptr, nullptr);
    if (symbols) SymCleanup(process);
    CloseHandle(file);
    return written ? path : L"";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring record = EnvironmentValue(L"PELICOR_DUMP_RECORD");
    AppendToFile(record, StartupRecord() + L"priority=" +
                             std::to_wstring(GetPriorityClass(GetCurrentProcess())) + L"\n");
    Request request;
    if (!Parse(request)) {
        AppendToFile(record, L"error=command line\n");
        return 2;
    }
    HANDLE launcher = OpenProcess(PROCESS_ALL_ACCESS, FALSE, request.processId);
    if (launcher == nullptr) {
        AppendToFile(record, L"error=open process\n");
        return 3;
    }
    AppendToFile(record, L"dump=" + WriteDump(launcher, request) + L"\n");
    HANDLE event = nullptr;
    if (DuplicateHandle(launcher, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(request.event)),
                        GetCurrentProcess(), &event, EVENT_MODIFY_STATE, FALSE, 0) &&
        SetEvent(event)) {
        AppendToFile(record, L"signalled=1\n");
    }
    if (event != nullptr) CloseHandle(event);
    CloseHandle(launcher);

    const std::wstring hold = EnvironmentValue(L"PELICOR_DUMP_HOLD_EVENT");
    if (!hold.empty()) {
        HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, hold.c_str());
        if (release != nullptr) {
            WaitForSingleObject(release, kLongestHoldMs);
            CloseHandle(release);
        }
    }
    return 0;
}
