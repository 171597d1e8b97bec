#!/usr/bin/env bash
# Measures what the launcher costs a user under Wine, every figure side by side in one run:
# added start and exit latency against a direct start (medians), CPU time and working set while
# it waits on a 10 s target, and the stripped executable's size. Prints a table and writes
# build/bench/results.json. Usage: scripts/bench.sh [runs] [baseline] (default 40 starts of each
# kind; baseline: a commit or tag whose launcher is built in a clone with the same toolchain and
# measured in the same rounds, for start, exit and size side by side).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

runs=${1:-40}
baseline_ref=${2:-}
ensure_packages
build_preset cross >/dev/null
ensure_wine_prefix
start_wineserver

bin="$ROOT/build/cross/bin"
out="$ROOT/build/bench"
mkdir -p "$out"
baseline_args=()
if [ -n "$baseline_ref" ]; then
    # A clone of the baseline, built as this tree is (the same LLVM): only the code differs.
    baseline_src="$out/baseline-src"
    rm -rf "$baseline_src"
    git clone -q --no-hardlinks "$ROOT" "$baseline_src"
    git -C "$baseline_src" checkout -q "$baseline_ref"
    (cd "$baseline_src" && build_env cmake --preset cross -DPELICOR_LLVM_VERSION="$LLVM_VERSION" >/dev/null &&
        build_env cmake --build --preset cross -j "$(nproc)" --target PelicorLaunch64 >/dev/null)
    mkdir -p "$bin/baseline"
    cp "$baseline_src/build/cross/bin/PelicorLaunch64.exe" "$bin/baseline/"
    baseline_args=("$(winepath_of "$bin/baseline/PelicorLaunch64.exe")")
fi
# The suite's service answers in-process, with its default answer: wrap the start.
"$WINE" regsvr32 /s "$bin/StandInReactivationService.dll"
unset PELICOR_SERVICE_LOG PELICOR_SERVICE_REFUSE PELICOR_SERVICE_FAIL_QUERY PELICOR_SERVICE_REFUSE_UNTIL \
      PELICOR_SERVICE_FIRST_FLAG PELICOR_SERVICE_SECOND_FLAG

echo "Timing $runs starts of each kind, then a 10 s target..."
"$WINE" "$bin/bench_runner.exe" "$runs" "$(winepath_of "$out/runner.txt")" "${baseline_args[@]}"

# CPU time while waiting, from Linux: Wine does not report another process's CPU times. The sum
# of the launcher's threads' on-CPU nanoseconds, from the moment the target's process appears
# (polled every 2 ms, before the target is input-idle, so the receiver thread's start counts)
# until just before the target's end (it runs 10 s).
cpu_ns() {
    local total=0 t
    for t in /proc/"$1"/task/*/schedstat; do
        total=$((total + $(cut -d' ' -f1 "$t" 2>/dev/null || echo 0)))
    done
    echo "$total"
}
(cd "$bin" && PELICOR_BENCH_RUN_MS=10000 exec "$WINE" PelicorLaunch64.exe bench_target.exe) &
waiter=$!
launcher_pid="" target_pid=""
for _ in $(seq 5000); do
    target_pid=$(pgrep -f '^bench_target\.exe' | head -n1 || true)
    launcher_pid=$(pgrep -f '^PelicorLaunch64\.exe bench_target' | head -n1 || true)
    [ -n "$target_pid" ] && [ -n "$launcher_pid" ] && break
    sleep 0.002
done
cpu_start=$(cpu_ns "$launcher_pid")
sleep 9.5
cpu_end=$(cpu_ns "$launcher_pid")
wait "$waiter" || true
cpu_ms=$(awk -v a="$cpu_start" -v b="$cpu_end" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')

# The build strips the shipped executable itself (its symbols are in the PDB).
size_kib=$(awk -v s="$(stat -c %s "$bin/PelicorLaunch64.exe")" 'BEGIN { printf "%.1f", s / 1024 }')

declare -A f
while read -r key value; do f[$key]=$value; done < <(tr -d '\r' < "$out/runner.txt")
f[cpu_while_waiting_ms]=$cpu_ms
f[stripped_size_kib]=$size_kib
f[working_set_ratio]=$(awk -v a="${f[working_set_mib]}" -v b="${f[sleeper_working_set_mib]}" 'BEGIN { printf "%.3f", a / b }')
f[working_set_ratio_windowed]=$(awk -v a="${f[working_set_mib]}" -v b="${f[windowed_sleeper_working_set_mib]}" 'BEGIN { printf "%.3f", a / b }')

row() {  # name value unit goal
    local met=""
    [ -n "$4" ] && met=$(awk -v v="$2" -v g="$4" 'BEGIN { print (v <= g) ? "yes" : "NO" }')
    printf '%-52s %10s %-4s %8s %4s\n' "$1" "$2" "$3" "${4:+<= $4}" "$met"
}
echo
printf '%-52s %10s %-4s %8s %4s\n' "figure" "measured" "" "goal" "met"
row "one bare process start (median)" "${f[bare_start_ms]}" ms ""
row "added start latency through the launcher (median)" "${f[added_start_ms]}" ms ""
row "  as a ratio to one bare start" "${f[added_start_ratio]}" x 1.3
row "  a bare pass-through program, for reference" "${f[passthrough_added_start_ratio]}" x ""
row "added exit latency (median)" "${f[added_exit_ms]}" ms 5
row "  after a target that ends at once" "${f[added_exit_at_once_ms]}" ms 3
row "CPU while waiting on a 10 s target" "${f[cpu_while_waiting_ms]}" ms 10
row "working set while waiting" "${f[working_set_mib]}" MiB ""
row "  trivial sleeping program (kernel32 only)" "${f[sleeper_working_set_mib]}" MiB ""
row "  ratio" "${f[working_set_ratio]}" x 1.25
row "  trivial sleeping program with user32 up" "${f[windowed_sleeper_working_set_mib]}" MiB ""
row "  ratio" "${f[working_set_ratio_windowed]}" x 1.25
row "shipped executable (stripped; symbols in the PDB)" "${f[stripped_size_kib]}" KiB 100
keys=(runs bare_start_ms added_start_ms added_start_ratio passthrough_added_start_ratio added_exit_ms
      added_exit_at_once_ms cpu_while_waiting_ms working_set_mib sleeper_working_set_mib working_set_ratio
      windowed_sleeper_working_set_mib working_set_ratio_windowed stripped_size_kib)
if [ -n "$baseline_ref" ]; then
    f[baseline_stripped_size_kib]=$(awk -v s="$(stat -c %s "$bin/baseline/PelicorLaunch64.exe")" \
        'BEGIN { printf "%.1f", s / 1024 }')
    echo
    echo "baseline $baseline_ref, same rounds:"
    row "  added start latency (median)" "${f[baseline_added_start_ms]}" ms ""
    row "  as a ratio to one bare start" "${f[baseline_added_start_ratio]}" x ""
    row "  added exit latency (median)" "${f[baseline_added_exit_ms]}" ms ""
    row "  after a target that ends at once" "${f[baseline_added_exit_at_once_ms]}" ms ""
    row "  executable" "${f[baseline_stripped_size_kib]}" KiB ""
    keys+=(baseline_added_start_ms baseline_added_start_ratio baseline_added_exit_ms baseline_added_exit_at_once_ms
           baseline_stripped_size_kib)
fi

{
    echo "{"
    first=1
    for key in "${keys[@]}"; do
        [ $first -eq 1 ] || echo ","
        printf '  "%s": %s' "$key" "${f[$key]}"
        first=0
    done
    printf '\n}\n'
} > "$out/results.json"
echo
echo "Written: $out/results.json"
