// Stand-in for the suite's deactivation tool. Records how it was started in PELICOR_TOOL_RECORD,
// notes its run in the service's log (PELICOR_SERVICE_LOG) so tests see the order of events,
// and with PELICOR_TOOL_REPAIRS=1 "repairs" the stand-in service by creating the file that
// PELICOR_SERVICE_REFUSE_UNTIL names.
#include <windows.h>

#include "standins/record.h"

using namespace pelicor::standins;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    AppendToFile(EnvironmentValue(L"PELICOR_TOOL_RECORD"), StartupRecord());
    AppendToFile(
        EnvironmentValue(L"PELICOR_SERVICE_LOG"),
        L"tool\t" + std::wstring(commandLine) + L"\t\t" + std::to_wstring(GetCurrentProcessId()) + L"\n");
    if (EnvironmentFlag(L"PELICOR_TOOL_REPAIRS")) {
        AppendToFile(EnvironmentValue(L"PELICOR_SERVICE_REFUSE_UNTIL"), L"repaired");
    }
    return 0;
}
