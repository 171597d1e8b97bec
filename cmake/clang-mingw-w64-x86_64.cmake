# Shipping toolchain: clang and lld for 64-bit Windows (LLVM 19, or the version asked for with
# PELICOR_LLVM_VERSION), on mingw-w64's headers and CRT and GCC's runtime libraries (libstdc++,
# libgcc). lld writes what GNU ld cannot: a load configuration directory, Control Flow Guard's
# tables and a PDB. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

include(${CMAKE_CURRENT_LIST_DIR}/toolchain-versions.cmake)
pelicor_find_llvm()
pelicor_find_gcc_runtime()
set(PELICOR_MINGW_TRIPLE x86_64-w64-mingw32)

# From LLVM's own folder, so that clang's driver finds the ld.lld of its own version first.
set(CMAKE_C_COMPILER ${PELICOR_LLVM_BIN}/clang)
set(CMAKE_CXX_COMPILER ${PELICOR_LLVM_BIN}/clang++)
set(CMAKE_C_COMPILER_TARGET ${PELICOR_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${PELICOR_MINGW_TRIPLE})
set(CMAKE_ASM_COMPILER ${PELICOR_LLVM_BIN}/clang)
set(CMAKE_ASM_COMPILER_TARGET ${PELICOR_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR ${PELICOR_LLVM_BIN}/llvm-ar)
set(CMAKE_RANLIB ${PELICOR_LLVM_BIN}/llvm-ranlib)
set(PELICOR_STRIP ${PELICOR_LLVM_BIN}/llvm-strip)

# The sysroot keeps the host's /usr/include out; clang's driver would otherwise pick one of GCC's
# two runtime folders by itself, so the C++ headers and libraries are named explicitly.
set(CMAKE_SYSROOT /usr/${PELICOR_MINGW_TRIPLE})
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${PELICOR_GCC_RUNTIME}/include/c++
    ${PELICOR_GCC_RUNTIME}/include/c++/${PELICOR_MINGW_TRIPLE}
    ${PELICOR_GCC_RUNTIME}/include/c++/backward)
# GCC's driver adds winpthread for this runtime by itself; clang's does not. lld takes from it
# only what a program needs (nothing, for the launcher).
set(PELICOR_LINK_INIT "-fuse-ld=lld -L${PELICOR_GCC_RUNTIME} -lpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${PELICOR_LINK_INIT})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${PELICOR_LINK_INIT})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${PELICOR_LINK_INIT})

set(CMAKE_FIND_ROOT_PATH /usr/${PELICOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
