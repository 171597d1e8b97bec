// Where the launcher, and the DLLs that COM and the shell load into it, find libraries loaded by
// name at run time.
#pragma once

#include <windows.h>

namespace pelicor {

// Takes the current directory out of the search for DLLs loaded by name and moves it behind the
// system folders for SearchPathW, for the rest of the process's life. Everything else keeps the
// search every other client has: the launcher's own folder, a DLL's own folder when it is loaded
// by full path (in-process COM servers), the system folders and PATH. Returns true when both took
// effect. Call before anything loads a library at run time.
[[nodiscard]] bool HardenLibrarySearch() noexcept;

// For its lifetime, processes that this process creates get the system's default DLL search,
// as they would from any other parent: Windows hands a child the creator's DLL directory. Main
// thread only, around the one call that creates the process; no other thread may load a library
// meanwhile without the current directory being searched again.
class DefaultLibrarySearchForChildren {
public:
    DefaultLibrarySearchForChildren() noexcept;
    DefaultLibrarySearchForChildren(const DefaultLibrarySearchForChildren&) = delete;
    DefaultLibrarySearchForChildren& operator=(const DefaultLibrarySearchForChildren&) = delete;
    ~DefaultLibrarySearchForChildren();

private:
    bool m_restored = false;
};

}  // namespace pelicor
