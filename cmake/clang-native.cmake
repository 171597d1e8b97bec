# The fuzz build: the same clang as the shipping build (LLVM 19 unless asked otherwise), with
# compiler-rt's libFuzzer, for the machine itself.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-versions.cmake)
# compiler-rt keeps libFuzzer in lib/linux (Debian's packages, 14 to 22) or, built with per-target
# runtime folders, in one named for the target.
set(PELICOR_LLVM_REQUIRES "lib/clang/*/lib/*/libclang_rt.fuzzer*.a")
pelicor_find_llvm()
set(CMAKE_C_COMPILER ${PELICOR_LLVM_BIN}/clang)
set(CMAKE_CXX_COMPILER ${PELICOR_LLVM_BIN}/clang++)
