#!/usr/bin/env bash
# The PDB that ships makes the crash dumps of the suite's dump tool readable: its GUID and age are
# the ones in the executable's CodeView record, and llvm-symbolizer, given nothing but the shipped
# executable and PDB, names the launcher's own functions and their source files.
# Usage: pdb_symbols_test.sh BIN_DIR LLVM_BIN (the build's bin folder, which holds what ships, and
# the folder of the LLVM tools that built it)
set -euo pipefail
bin=$(realpath "$1")
llvm=${2:?usage: pdb_symbols_test.sh BIN_DIR LLVM_BIN}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect DESCRIPTION EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

# The GUID as the executable's record stores it and as the PDB reports it. llvm-readobj prints
# it as the record's bytes (up to LLVM 18: the first three fields little-endian) or already as a
# GUID (later versions).
guid_field=$("$llvm/llvm-readobj" --coff-debug-directory "$bin/PelicorLaunch64.exe" | sed -n 's/.*PDBGUID: //p')
if [[ $guid_field == "{"* ]]; then
    exe_guid=$guid_field
else
    read -r -a b <<<"$(sed 's/[()]//g' <<<"$guid_field")"
    exe_guid="{${b[3]}${b[2]}${b[1]}${b[0]}-${b[5]}${b[4]}-${b[7]}${b[6]}-${b[8]}${b[9]}-${b[10]}${b[11]}${b[12]}${b[13]}${b[14]}${b[15]}}"
fi
exe_age=$("$llvm/llvm-readobj" --coff-debug-directory "$bin/PelicorLaunch64.exe" | sed -n 's/.*PDBAge: //p')
summary=$("$llvm/llvm-pdbutil" dump --summary "$bin/PelicorLaunch64.pdb")
expect "PDB GUID" "$exe_guid" "$(sed -n 's/.*GUID: //p' <<<"$summary")"
expect "PDB age" "$exe_age" "$(sed -n 's/.*Age: //p' <<<"$summary")"

# Where each function lies: the PDB gives section and offset (decimal), the image its sections.
image_base=$("$llvm/llvm-readobj" --file-headers "$bin/PelicorLaunch64.exe" | sed -n 's/.*ImageBase: //p')
symbols=$("$llvm/llvm-pdbutil" dump --symbols "$bin/PelicorLaunch64.pdb")
address_of() {
    local where section offset rva
    where=$(grep -A1 -F "\`$1\`" <<<"$symbols" | grep -m1 -o 'addr = [0-9]*:[0-9]*' | cut -d' ' -f3)
    [ -n "$where" ] || return 1
    section=${where%%:*}
    offset=${where##*:}
    rva=$("$llvm/llvm-readobj" --sections "$bin/PelicorLaunch64.exe" |
        awk -v n="$section" '/Number:/ {s = $2} /VirtualAddress:/ && s == n {print $2; exit}')
    printf '0x%x\n' $((image_base + rva + offset + 1))
}

# Only the shipped files, in a folder of their own; first without the PDB, to show that the
# names below come from it.
cp "$bin/PelicorLaunch64.exe" "$work/"
cd "$work"
address=$(address_of wWinMain)
# llvm-symbolizer answers "??" where it has no name (LLVM 14), or nothing and an error (LLVM 22).
without=$("$llvm/llvm-symbolizer" --no-inlines --obj=PelicorLaunch64.exe "$address" 2>/dev/null | head -n 1 || true)
expect "wWinMain without its PDB" "no name" "$([[ $without == wWinMain* ]] && echo "$without" || echo "no name")"
cp "$bin/PelicorLaunch64.pdb" "$work/"
while read -r function file; do
    address=$(address_of "$function") || { expect "$function in the PDB" "found" "missing"; continue; }
    answer=$("$llvm/llvm-symbolizer" --no-inlines --obj=PelicorLaunch64.exe "$address")
    expect "function at $address" "$function" "$(sed -n 1p <<<"$answer" | sed 's/(.*//')"
    expect "source of $function" "$file" "$(sed -n 2p <<<"$answer" | sed 's/:[0-9]*:[0-9]*$//; s/.*\\pelicor\\//')"
done <<'TABLE'
wWinMain launcher\main.cpp
pelicor::RunLaunchSequence launcher\launch_sequence.cpp
pelicor::NormaliseCommandLine launcher\normalise_command_line.cpp
pelicor::QueryReactivationService reactivation\service_client.cpp
pelicor::CrashFilter crash\crash_handler.cpp
__stack_chk_fail launcher\stack_cookie.cpp
TABLE

# Control Flow Guard: every function that Windows' own code calls through a pointer (the loader
# the entry point, kernel32 the crash filter and the threads' starts, user32 the window search's
# callback) is in the guard's table of valid targets; where the system enforces the guard, a
# call to one missing from it would end the launcher.
fids=$("$llvm/llvm-readobj" --coff-load-config "$bin/PelicorLaunch64.exe" |
    sed -n '/GuardFidTable/,/\]/p' | grep -o '0x[0-9A-F]*' | tr 'A-F' 'a-f')
for callback in PelicorStart pelicor::CrashFilter pelicor::CWinMessageReceiver::ThreadEntry \
                RunDumpToolForFaultingThread ClearHotkeyOfOwnWindow; do
    # Names in an anonymous namespace carry it between quotes; match the name's end.
    where=$(grep -E "S_[GL]PROC32 .*[\`:]$callback\`" -A1 <<<"$symbols" | grep -m1 -o 'addr = [0-9]*:[0-9]*' |
        cut -d' ' -f3) || true
    if [ -z "$where" ]; then
        expect "$callback in the PDB" "found" "missing"
        continue
    fi
    rva=$("$llvm/llvm-readobj" --sections "$bin/PelicorLaunch64.exe" |
        awk -v n="${where%%:*}" '/Number:/ {s = $2} /VirtualAddress:/ && s == n {print $2; exit}')
    va=$(printf '0x%x' $((image_base + rva + ${where##*:})))
    expect "$callback among the guard's valid targets" "yes" "$(grep -qx "$va" <<<"$fids" && echo yes || echo no)"
done

[ "$failures" = 0 ] || exit 1
echo "The PDB matches the executable and names its functions and sources."
