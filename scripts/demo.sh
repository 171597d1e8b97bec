#!/usr/bin/env bash
# Builds the launcher and shows one real launch under Wine: the launcher expands its command line,
# asks the stand-in reactivation service about the target, starts the stand-in target, and passes
# the target's exit code back.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

ensure_packages
build_preset cross >/dev/null
ensure_wine_prefix
start_wineserver

bin="$ROOT/build/cross/bin"
work=$(mktemp -d)
record="$work/record.txt"
service_log="$work/service.txt"

# The suite registers its reactivation service; the stand-in registers itself the same way.
"$WINE" regsvr32 /s "$bin/StandInReactivationService.dll"

# The stand-in target writes what it received to PELICOR_TEST_RECORD and exits with
# PELICOR_TEST_EXIT_CODE. Wine hands Linux environment variables to Windows programs.
export PELICOR_TEST_RECORD=$("$WINE" winepath -w "$record" 2>/dev/null)
export PELICOR_TEST_EXIT_CODE=3
export PELICOR_SERVICE_LOG=$("$WINE" winepath -w "$service_log" 2>/dev/null)
export PELICOR_DEMO_BIN=$("$WINE" winepath -w "$bin" 2>/dev/null)

printf '%s\n' 'Running: PelicorLaunch64.exe %PELICOR_DEMO_BIN%\\record_target.exe "hello world" C:\\data'
set +e
"$WINE" "$bin/PelicorLaunch64.exe" '%PELICOR_DEMO_BIN%\\record_target.exe' 'hello world' 'C:\\data'
code=$?
set -e

echo
echo "The target received:"
iconv -f UTF-16LE -t UTF-8 "$record" | sed 's/^/  /'
echo
echo "The reactivation service was told (event, argument, apartment, process id):"
iconv -f UTF-16LE -t UTF-8 "$service_log" | sed 's/^/  /'
echo
echo "Launcher exit code: $code (the target's, passed through)"
rm -rf "$work"
