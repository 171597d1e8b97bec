// The image's load configuration, which the linker finds by this symbol's name. Linked only with
// mingw-w64, whose runtime defines none (MSVC's runtime brings its own, and its linker takes
// /DEPENDENTLOADFLAG instead).
//
// DependentLoadFlags makes the loader resolve the launcher's static imports, and the DLLs they
// import in turn, from the system directory only. SetDefaultDllDirectories in the launcher's
// start-up comes too late for those: a DLL such as imm32 is loaded while the system DLLs start,
// before any code of the launcher runs, and would otherwise be searched for beside the launcher
// first. Windows honours the field from Windows 10 1607 on and ignores it before.
#include <windows.h>

#include <cstddef>

namespace {

// mingw-w64's winnt.h still calls the field at offset 0x4E Reserved1; the loader reads it only
// when the directory's Size covers it.
constexpr std::size_t kDependentLoadFlagsOffset = 0x4E;
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == kDependentLoadFlagsOffset,
              "DependentLoadFlags must sit at offset 0x4E");
static_assert(sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64) >= kDependentLoadFlagsOffset + sizeof(WORD),
              "the directory's Size must cover DependentLoadFlags");

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 MakeLoadConfig() {
    IMAGE_LOAD_CONFIG_DIRECTORY64 config{};
    config.Size = sizeof(config);
    config.Reserved1 = static_cast<WORD>(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return config;
}

}  // namespace

extern "C" const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = MakeLoadConfig();
