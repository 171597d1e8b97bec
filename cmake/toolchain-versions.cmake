# Which of the installed toolchains the builds use.
#
# PELICOR_LLVM_BIN: /usr/lib/llvm-N/bin of LLVM PELICOR_LLVM_DEFAULT_VERSION, the one version that
# both Debian 12 and Debian 13 offer in their main suite, so that every machine of one Debian
# release builds the same bytes whatever other LLVM it has. PELICOR_LLVM_VERSION names another on
# request (the release's build record then says so). PELICOR_LLVM_REQUIRES lists further files
# below /usr/lib/llvm-N that the caller needs (the fuzz build: compiler-rt's libFuzzer).
#
# PELICOR_GCC_RUNTIME: GCC's mingw-w64 runtime folder (libstdc++, libgcc) of the newest installed
# GCC with the posix thread model: Debian 12 and 13 each have one.
include_guard(GLOBAL)

set(PELICOR_LLVM_DEFAULT_VERSION 19)
set(PELICOR_LLVM_TOOLS bin/clang bin/clang++ bin/ld.lld bin/llvm-ar bin/llvm-ranlib bin/llvm-strip
    bin/llvm-readobj bin/llvm-pdbutil bin/llvm-symbolizer)

function(pelicor_find_llvm)
    set(PELICOR_LLVM_VERSION "${PELICOR_LLVM_DEFAULT_VERSION}" CACHE STRING
        "LLVM version to build with (${PELICOR_LLVM_DEFAULT_VERSION} unless asked otherwise)")
    set(version ${PELICOR_LLVM_VERSION})
    set(missing "")
    foreach(file IN LISTS PELICOR_LLVM_TOOLS PELICOR_LLVM_REQUIRES)
        file(GLOB found /usr/lib/llvm-${version}/${file})
        if(NOT found)
            list(APPEND missing /usr/lib/llvm-${version}/${file})
        endif()
    endforeach()
    if(missing)
        list(JOIN missing " " missing)
        message(FATAL_ERROR "LLVM ${version} lacks ${missing}: scripts/lib.sh installs it "
            "(clang-${version} lld-${version} llvm-${version} libclang-rt-${version}-dev).")
    endif()
    # CMake keeps the compiler a build folder was first configured with: another LLVM needs a
    # fresh folder (scripts/lib.sh makes one), or the tree would be built with the old one.
    if(DEFINED CACHE{PELICOR_LLVM_BIN} AND NOT PELICOR_LLVM_BIN STREQUAL "/usr/lib/llvm-${version}/bin")
        message(FATAL_ERROR "This build folder was configured with ${PELICOR_LLVM_BIN}, not LLVM ${version}: "
            "configure a fresh folder.")
    endif()
    # Cached, so that the release script can record which LLVM built the tree.
    set(PELICOR_LLVM_BIN /usr/lib/llvm-${version}/bin CACHE INTERNAL "The LLVM tools the build uses")
    # Control Flow Guard: clang 16 on has the driver's flag, which also hands the linker its own;
    # before that only the front end's.
    if(version VERSION_LESS 16)
        set(PELICOR_CFGUARD_COMPILE -Xclang -cfguard CACHE INTERNAL "")
    else()
        set(PELICOR_CFGUARD_COMPILE -mguard=cf CACHE INTERNAL "")
    endif()
    set(PELICOR_CFGUARD_LINK -Wl,-Xlink=-guard:cf CACHE INTERNAL "")
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
