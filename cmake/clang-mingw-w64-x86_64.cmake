# Shipping toolchain: clang 14 and lld 14 for 64-bit Windows, on mingw-w64's headers and CRT and
# GCC's runtime libraries (libstdc++, libgcc). lld writes what GNU ld cannot: a load configuration
# directory and a PDB. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELICOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(PELICOR_GCC_RUNTIME /usr/lib/gcc/x86_64-w64-mingw32/12-posix
    CACHE PATH "GCC's mingw-w64 runtime: libstdc++ and libgcc")

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${PELICOR_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${PELICOR_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)
set(PELICOR_STRIP /usr/bin/llvm-strip-14)

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
