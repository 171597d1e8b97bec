#!/usr/bin/env bash
# Builds every preset and runs every test: the native logic under ASan/UBSan, a short run of each
# fuzz target, the unit tests of the GCC build, then the shipping clang build (unit and
# end-to-end tests, and checks of the image and its PDB) under Wine. Exits non-zero on any
# failure.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages
build_preset native
build_preset fuzz
build_preset cross
build_preset cross-gcc
ensure_wine_prefix
start_wineserver

status=0
ctest --preset native || status=1
ctest --preset fuzz || status=1
ctest --preset cross-gcc || status=1
ctest --preset cross || status=1
exit $status
