#include "platform/module_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

namespace pelicor {

std::wstring OwnModulePath() {
    // A path can be longer than MAX_PATH; GetModuleFileNameW truncates silently and reports a
    // full buffer, so grow until the whole path fits.
    std::vector<wchar_t> buffer(MAX_PATH, L'\0');
    while (buffer.size() <= 32768 * 2) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
    return std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    std::vector<wchar_t> buffer(path.begin(), path.end());
    buffer.push_back(L'\0');
    PathRemoveFileSpecW(buffer.data());
    return std::wstring(buffer.data());
}

}  // namespace pelicor
