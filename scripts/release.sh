#!/usr/bin/env bash
# Builds the shipping launcher (the `cross` preset, the same build the end-to-end tests run) and
# writes dist/: PelicorLaunch64-<version>-win-x64.zip with the executable, its PDB and a short
# text; PelicorLaunch64-<version>-tests-win-x64.zip, the test package (the unit and end-to-end
# test programs, the stand-ins, the launcher and its PDB, and run-tests.cmd, which runs them all
# on a Windows x64 machine); PelicorLaunch64-<version>-win-x64.buildinfo, the build record (the
# Debian release and the exact versions of every package whose files went into the zips); and
# SHA256SUMS of all three for `sha256sum -c`. Signs the executable first when PELICOR_SIGN_PFX and
# PELICOR_SIGN_PASSWORD are set (with PELICOR_SIGN_TIMESTAMP_URL, adds an RFC 3161 timestamp).
#
#   scripts/release.sh           build and package into dist/
#   scripts/release.sh --check   build the committed HEAD twice, from clones in two temporary
#                                folders of different path lengths, and fail when any file differs
#
# The build's time comes from the commit (SOURCE_DATE_EPOCH, unless the caller sets one); the
# image carries no link time, the PDB no build path, and the zip fixed entry order, times and
# permissions, so one commit always gives the same bytes. dist/ is replaced only by a complete
# release: a failure leaves the previous one (or none) in place. PELICOR_DIST names another
# folder for it (the tests use one of their own).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

fail() {
    echo "release: $*" >&2
    exit 1
}

project_version() {
    sed -n 's/^project(PelicorLauncher VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# Signs $1 in place with Authenticode (SHA-256). The signing time is the build's own unless a
# timestamp server vouches for the real one, so an unstamped signed release is reproducible too.
sign_executable() {
    local exe=$1 signed="$1.signed"
    local options=(-pkcs12 "$PELICOR_SIGN_PFX" -pass "$PELICOR_SIGN_PASSWORD" -h sha256
                   -n "Pelicor launcher")
    if [ -n "${PELICOR_SIGN_TIMESTAMP_URL:-}" ]; then
        options+=(-ts "$PELICOR_SIGN_TIMESTAMP_URL")
    else
        options+=(-time "$SOURCE_DATE_EPOCH")
    fi
    [ -r "$PELICOR_SIGN_PFX" ] || fail "cannot read the signing key $PELICOR_SIGN_PFX"
    if ! osslsigncode sign "${options[@]}" -in "$exe" -out "$signed" >"$exe.sign.log" 2>&1; then
        cat "$exe.sign.log" >&2
        fail "signing failed: wrong key or password in PELICOR_SIGN_PFX / PELICOR_SIGN_PASSWORD?"
    fi
    mv "$signed" "$exe"
    rm -f "$exe.sign.log"
}

# The programs that the test package's runner starts, from the build folder: bin\ holds what the
# tests find beside themselves, bin\tool\ what they copy into folders of their own.
TEST_PACKAGE_BIN=(launcher_win_test.exe launcher_e2e_test.exe PelicorLaunch64.pdb record_target.exe
                  admin_target.exe start_probe.exe dll_search_probe.exe dll_search_probe_control.exe
                  StandInReactivationService.dll
                  StandInReactivationServiceWithHelper.dll
                  StandInReactivationServer.exe)
TEST_PACKAGE_TOOL=(Velmora.exe norvexdumpa.exe planted.dll StandInServiceHelper.dll)

# Lays out the test package in $1 with the released launcher $2, with fixed times and permissions.
stage_tests() {
    local tests=$1 launcher=$2 file
    mkdir -p "$tests/bin/tool"
    cp "$launcher" "$tests/bin/"
    for file in "${TEST_PACKAGE_BIN[@]}"; do cp "build/cross/bin/$file" "$tests/bin/"; done
    for file in "${TEST_PACKAGE_TOOL[@]}"; do cp "build/cross/bin/tool/$file" "$tests/bin/tool/"; done
    # cmd reads labels reliably only with Windows line ends.
    sed 's/\r*$/\r/' tests/package/run-tests.cmd >"$tests/run-tests.cmd"
    find "$tests" -type f -exec chmod 0644 {} + -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
}

# The packages whose files reach the released bytes: the compiler, linker and strip; mingw-w64's
# headers and CRT; GCC's runtime libraries and C++ headers; windres; widl, Wine's IDL files and
# type library for the test package's stand-in; the packaging tools. Same versions, same commit:
# same bytes.
# The LLVM whose clang++ compiled build/cross, as CMake recorded the compiler it found.
built_llvm_version() {
    local llvm
    llvm=$(sed -n 's|^set(CMAKE_CXX_COMPILER "/usr/lib/llvm-\([0-9]*\)/bin/clang++")$|\1|p' \
        build/cross/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n 1)
    [ -n "$llvm" ] || fail "cannot tell which LLVM built build/cross"
    echo "$llvm"
}

record_packages() {
    local llvm
    llvm=$(built_llvm_version)
    echo "clang-$llvm libclang-cpp$llvm libllvm$llvm lld-$llvm llvm-$llvm mingw-w64-common mingw-w64-x86-64-dev
          gcc-mingw-w64-base gcc-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools libwine libwine-dev
          cmake faketime zip osslsigncode" | tr -s ' \n' '\n' | sed '/^$/d' | LC_ALL=C sort
}

# Writes the build record (after Debian's .buildinfo) for the zips in $1 to standard output.
write_build_record() {
    local dist=$1 product=$2 commit=$3 package version
    # shellcheck disable=SC1091
    . /etc/os-release
    printf 'Format: 1.0\nSource: PelicorLaunch64\nVersion: %s\nCommit: %s\nSource-Date-Epoch: %s\n' \
        "$product" "$commit" "$SOURCE_DATE_EPOCH"
    printf 'Build-Origin: %s\nBuild-Distribution: %s\nBuild-Distribution-Version: %s\nBuild-Architecture: %s\n' \
        "${NAME:-unknown}" "${VERSION_CODENAME:-unknown}" "${VERSION_ID:-unknown}" "$(dpkg --print-architecture)"
    # Every release is built with the one LLVM the project names, unless someone asked otherwise:
    # then the record says so, and the bytes match no other machine's.
    local llvm
    llvm=$(built_llvm_version)
    printf 'Pelicor-LLVM: %s\n' "$llvm"
    if [ "$llvm" != "$LLVM_DEFAULT_VERSION" ]; then
        printf 'Pelicor-LLVM-Requested: %s (PELICOR_LLVM_VERSION; the project builds with %s)\n' \
            "$llvm" "$LLVM_DEFAULT_VERSION"
    fi
    echo "Checksums-Sha256:"
    (cd "$dist" && sha256sum -- *.zip | while read -r sum file; do
        echo " $sum $(stat -c %s "$file") $file"
    done)
    echo "Installed-Build-Depends:"
    for package in $(record_packages); do
        version=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null) || fail "$package is not installed"
        echo " $package (= $version),"
    done | sed '$ s/,$//'
}

# Packages the built launcher into a fresh dist/ (see the top of this file).
package() {
    local version product commit stage name
    version=$(project_version)
    [ -n "$version" ] || fail "no project version in CMakeLists.txt"
    name="PelicorLaunch64-$version-win-x64"
    product=$(strings -el build/cross/bin/PelicorLaunch64.exe | grep -A1 -x ProductVersion | tail -n 1)
    commit=$(git rev-parse HEAD 2>/dev/null || echo "unknown")

    stage=$(mktemp -d "$ROOT/build/release.XXXXXX")
    trap 'rm -rf "$stage"' EXIT
    mkdir -p "$stage/files" "$stage/dist"
    cp build/cross/bin/PelicorLaunch64.exe build/cross/bin/PelicorLaunch64.pdb "$stage/files/"
    printf 'PelicorLaunch64 %s\r\ncommit %s\r\nWindows x64: Windows 7 or later\r\n' \
        "$product" "$commit" >"$stage/files/VERSION.txt"
    if [ -n "${PELICOR_SIGN_PFX:-}${PELICOR_SIGN_PASSWORD:-}" ]; then
        [ -n "${PELICOR_SIGN_PFX:-}" ] && [ -n "${PELICOR_SIGN_PASSWORD:-}" ] ||
            fail "set both PELICOR_SIGN_PFX and PELICOR_SIGN_PASSWORD to sign, or neither"
        sign_executable "$stage/files/PelicorLaunch64.exe"
    fi

    # Fixed order, times (the commit's, in UTC) and permissions; -X leaves out owner ids and
    # extended timestamps.
    (
        cd "$stage/files"
        chmod 0644 -- *
        touch -d "@$SOURCE_DATE_EPOCH" -- *
        TZ=UTC zip -q -X -D "$stage/dist/$name.zip" PelicorLaunch64.exe PelicorLaunch64.pdb VERSION.txt
    )
    stage_tests "$stage/tests" "$stage/files/PelicorLaunch64.exe"
    (
        cd "$stage/tests"
        find . -type f | LC_ALL=C sort | sed 's|^\./||' |
            TZ=UTC zip -q -X -D "$stage/dist/PelicorLaunch64-$version-tests-win-x64.zip" -@
    )
    write_build_record "$stage/dist" "$product" "$commit" >"$stage/dist/$name.buildinfo"
    (cd "$stage/dist" && sha256sum -- *.zip "$name.buildinfo" >SHA256SUMS)
    rm -rf "$DIST"
    mkdir -p "$(dirname "$DIST")"
    mv "$stage/dist" "$DIST"
    rm -rf "$stage"
    trap - EXIT
    echo "$DIST/$name.zip ($product)"
    (cd "$DIST" && cat SHA256SUMS)
}

# Builds HEAD from two fresh clones whose folders differ in path length, at different times, and
# compares everything they release.
check() {
    local first second
    git rev-parse HEAD >/dev/null 2>&1 || fail "--check needs a git checkout"
    [ -z "$(git status --porcelain --untracked-files=no)" ] ||
        echo "release: note: --check builds the committed HEAD; uncommitted changes are not in it"
    check_work=$(mktemp -d)
    trap 'rm -rf "$check_work"' EXIT
    first="$check_work/a"
    second="$check_work/a-much-longer-folder-name/for the second build"
    for clone in "$first" "$second"; do
        git clone -q --no-hardlinks "$ROOT" "$clone"
        echo "Building $(git -C "$clone" rev-parse --short HEAD) in $clone"
        (unset PELICOR_SIGN_PFX PELICOR_SIGN_PASSWORD PELICOR_SIGN_TIMESTAMP_URL PELICOR_DIST
         "$clone/scripts/release.sh") \
            >"$clone.log" 2>&1 || { cat "$clone.log" >&2; fail "the build in $clone failed"; }
    done
    local differ=0
    for file in $(cd "$first/dist" && ls); do
        if ! cmp -s "$first/dist/$file" "$second/dist/$file"; then
            echo "release: $file differs between the two builds" >&2
            differ=1
        fi
    done
    for file in PelicorLaunch64.exe PelicorLaunch64.pdb; do
        cmp -s "$first/build/cross/bin/$file" "$second/build/cross/bin/$file" ||
            { echo "release: $file differs between the two builds" >&2; differ=1; }
    done
    [ "$differ" = 0 ] || fail "the two builds are not byte-identical"
    echo "Reproducible: both builds gave"
    (cd "$first/dist" && cat SHA256SUMS)
}

DIST=$(realpath -m "${PELICOR_DIST:-$ROOT/dist}")
ensure_packages
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
case "${1:-}" in
    --check) check ;;
    "")
        configure_preset cross
        build_env cmake --build --preset cross -j "$(nproc)" >/dev/null
        package
        ;;
    *) fail "usage: scripts/release.sh [--check]" ;;
esac
