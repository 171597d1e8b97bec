// Machine-wide registration of the stand-in service (this Wine reads classes from
// HKLM\Software\Classes only). Registering one kind removes the other, so that activation with
// the launcher's class context reaches exactly the server the test asked for.
#pragma once

#include <windows.h>

#include <string>

namespace pelicor::standins {

HRESULT RegisterInprocServer(const std::wstring& dllPath);
// Also registers the interface for type-library marshalling from the executable's own TYPELIB
// resource.
HRESULT RegisterLocalServer(const std::wstring& exePath);
HRESULT UnregisterServer();

}  // namespace pelicor::standins
