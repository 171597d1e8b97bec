#!/usr/bin/env bash
# Runs every fuzz target for longer than the test run does: scripts/fuzz.sh [seconds per target]
# (default 300). New inputs go to build/fuzz/fuzz-found/<target>; crashes are saved there too.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

seconds=${1:-300}
ensure_packages
build_preset fuzz
for target in build/fuzz/fuzz/fuzz_*; do
    name=$(basename "$target" | sed 's/^fuzz_//')
    echo "== $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix=build/fuzz/fuzz-found/ "build/fuzz/fuzz-found/$name" "fuzz/corpus/$name"
done
