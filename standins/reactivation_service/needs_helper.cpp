// Makes the in-process service import its helper DLL: the service loads only where the loader
// finds the helper too.
extern "C" __declspec(dllimport) int StandInServiceHelperVersion();

namespace {
const int g_helperVersion = StandInServiceHelperVersion();
}  // namespace
