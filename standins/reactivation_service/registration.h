// Registration of the stand-in service: machine-wide where the process may write there (always
// under Wine, which reads classes from HKLM\Software\Classes only), otherwise for the user, which
// Windows merges in for clients that are not elevated. Registering one kind removes the other, so
// that activation with the launcher's class context reaches exactly the server the test asked for.
#pragma once

#include <windows.h>

#include <string>

namespace pelicor::standins {

// `dllPath` is written as it is: a full path, or a bare file name that the loader searches for.
HRESULT RegisterInprocServer(const std::wstring& dllPath);
// Also registers the interface for type-library marshalling from the executable's own TYPELIB
// resource. With `settingsPath`, the registered command line names that file: Windows starts a
// local server with the user's default environment, not its client's, so the server takes its
// settings from there.
HRESULT RegisterLocalServer(const std::wstring& exePath, const std::wstring& settingsPath = L"");
HRESULT UnregisterServer();

}  // namespace pelicor::standins
