# Writes the launcher's version header: the project's version, and the commit it was built from
# when the source tree is a git checkout. Run at every build (cmake -P) with SOURCE_DIR, OUTPUT
# and VERSION set; the file is rewritten only when its text changes.
string(REPLACE "." "," numeric "${VERSION}")
set(product "${VERSION}")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND commit)
        set(product "${VERSION}+g${commit}")
        execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
            OUTPUT_VARIABLE changes ERROR_QUIET)
        if(changes)
            string(APPEND product ".dirty")
        endif()
    endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "// Written by cmake/version.cmake at build time.
#pragma once
#define PELICOR_VERSION ${numeric},0
#define PELICOR_FILE_VERSION_TEXT \"${VERSION}\"
#define PELICOR_PRODUCT_VERSION_TEXT \"${product}\"
")
