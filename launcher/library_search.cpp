#include "launcher/library_search.h"

namespace pelicor {
namespace {

// Set once, by the start-up code, before any other thread exists.
bool g_hardened = false;

// The system folder as the DLL directory, rather than the empty string: both take the current
// directory out of the search on Windows (the DLL directory stands where it stood), but Wine
// treats an empty DLL directory as none and keeps searching the current directory. The system
// folder is searched next anyway, so naming it first changes nothing else.
bool SetSystemFolderAsDllDirectory() noexcept {
    wchar_t system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH + 1);
    return length != 0 && length <= MAX_PATH && SetDllDirectoryW(system) != FALSE;
}

}  // namespace

bool HardenLibrarySearch() noexcept {
    // Not SetDefaultDllDirectories: it applies to every DLL that COM loads into the process, so an
    // in-process server registered by bare name and found on PATH, or one whose own DLLs are found
    // on PATH, would no longer load.
    const bool dllSearch = SetSystemFolderAsDllDirectory();
    const bool pathSearch =
        SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT) != FALSE;
    g_hardened = dllSearch;
    return dllSearch && pathSearch;
}

DefaultLibrarySearchForChildren::DefaultLibrarySearchForChildren() noexcept
    : m_restored(g_hardened && SetDllDirectoryW(nullptr) != FALSE) {}

DefaultLibrarySearchForChildren::~DefaultLibrarySearchForChildren() {
    if (m_restored) {
        const DWORD error = GetLastError();  // the caller reads the creation's error after us
        (void)SetSystemFolderAsDllDirectory();
        SetLastError(error);
    }
}

}  // namespace pelicor
