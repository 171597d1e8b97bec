// A DLL that tests plant beside the launcher, or in its current directory, under a system DLL's
// name, and that targets load from their own current directory. Loading it appends
// "<loading program>|<this DLL's path>" to PELICOR_PLANTED_RECORD; it then refuses to load, so the
// program goes on with the real one.
#include <windows.h>

#include "standins/record.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t program[MAX_PATH] = {};
    const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
    wchar_t dll[MAX_PATH] = {};
    const DWORD dllLength = GetModuleFileNameW(self, dll, MAX_PATH);
    pelicor::standins::AppendToFile(
        pelicor::standins::EnvironmentValue(L"PELICOR_PLANTED_RECORD"),
        std::wstring(program, programLength) + L"|" + std::wstring(dll, dllLength) + L"\n");
    return FALSE;
}
