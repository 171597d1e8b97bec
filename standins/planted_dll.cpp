// A DLL that tests plant beside the launcher under a system DLL's name. Loading it appends the
// loading program's path to PELICOR_PLANTED_RECORD; it then refuses to load, so the program goes
// on with the real one.
#include <windows.h>

#include "standins/record.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    pelicor::standins::AppendToFile(pelicor::standins::EnvironmentValue(L"PELICOR_PLANTED_RECORD"),
                                    std::wstring(program, length) + L"\n");
    return FALSE;
}
