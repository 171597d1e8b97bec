// A DLL that the stand-in service needs at load time, as real services need runtimes of their own.
#include <windows.h>

extern "C" __declspec(dllexport) int StandInServiceHelperVersion() { return 1; }
