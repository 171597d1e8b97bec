# Which of the installed toolchains the builds use, found by what is installed rather than by a
# version written here, so that one set of files builds on every Debian release from 12 on.
#
# PELICOR_LLVM_BIN: /usr/lib/llvm-N/bin of the newest LLVM from 14 on that has clang, lld and the
# llvm tools the build and its tests use (Debian installs each version there). PELICOR_LLVM_VERSION
# names one instead. PELICOR_LLVM_REQUIRES lists further files below /usr/lib/llvm-N that the caller
# needs (the fuzz build: compiler-rt's libFuzzer).
#
# PELICOR_GCC_RUNTIME: GCC's mingw-w64 runtime folder (libstdc++, libgcc) of the newest installed
# GCC with the posix thread model.
include_guard(GLOBAL)

set(PELICOR_LLVM_TOOLS bin/clang bin/clang++ bin/ld.lld bin/llvm-ar bin/llvm-ranlib bin/llvm-strip
    bin/llvm-readobj bin/llvm-pdbutil bin/llvm-symbolizer)

function(pelicor_find_llvm)
    set(PELICOR_LLVM_VERSION "" CACHE STRING "LLVM version to build with (empty: the newest complete one from 14 on)")
    set(versions ${PELICOR_LLVM_VERSION})
    if(NOT versions)
        file(GLOB folders LIST_DIRECTORIES true /usr/lib/llvm-*)
        foreach(folder IN LISTS folders)
            if(folder MATCHES "/llvm-([0-9]+)$" AND CMAKE_MATCH_1 GREATER_EQUAL 14)
                list(APPEND versions ${CMAKE_MATCH_1})
            endif()
        endforeach()
        list(SORT versions COMPARE NATURAL ORDER DESCENDING)
    endif()
    foreach(version IN LISTS versions)
        set(complete TRUE)
        foreach(file IN LISTS PELICOR_LLVM_TOOLS PELICOR_LLVM_REQUIRES)
            file(GLOB found /usr/lib/llvm-${version}/${file})
            if(NOT found)
                set(complete FALSE)
            endif()
        endforeach()
        if(complete)
            # Cached, so that the release script can record which LLVM built the tree.
            set(PELICOR_LLVM_BIN /usr/lib/llvm-${version}/bin CACHE INTERNAL "The LLVM tools the build uses")
            return()
        endif()
    endforeach()
    list(JOIN PELICOR_LLVM_TOOLS " " tools)
    message(FATAL_ERROR "No LLVM from 14 on with ${tools} ${PELICOR_LLVM_REQUIRES} in /usr/lib/llvm-N: "
        "scripts/lib.sh installs one (clang-N lld-N llvm-N libclang-rt-N-dev).")
endfunction()

function(pelicor_find_gcc_runtime)
    file(GLOB folders LIST_DIRECTORIES true /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
    list(SORT folders COMPARE NATURAL ORDER DESCENDING)
    list(LENGTH folders count)
    if(count EQUAL 0)
        message(FATAL_ERROR "No /usr/lib/gcc/x86_64-w64-mingw32/*-posix: install g++-mingw-w64-x86-64-posix.")
    endif()
    list(GET folders 0 newest)
    set(PELICOR_GCC_RUNTIME ${newest} CACHE PATH "GCC's mingw-w64 runtime: libstdc++ and libgcc")
endfunction()
