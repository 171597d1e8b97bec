// The launcher's own executable path, whatever its length.
#pragma once

#include <string>

namespace pelicor {

// Full path of the running executable, or empty when the system cannot say.
std::wstring OwnModulePath();

// The folder of `path` without a trailing backslash (a drive root keeps its backslash).
std::wstring FolderOf(const std::wstring& path);

}  // namespace pelicor
