#!/usr/bin/env bash
# Compiler and linker launcher for the shipping build: runs the command with every path below the
# source root rewritten relative to the folder the command runs in. clang 14 records the whole
# compiler command line in the CodeView build record, and lld copies it into the PDB, so absolute
# paths there would make two clones in different folders build different files.
# Usage: relative-paths.sh SOURCE_ROOT COMMAND [ARGUMENT...]
set -euo pipefail
root=${1%/}
shift
relative=$(realpath -m --relative-to="$PWD" "$root")
args=()
for argument in "$@"; do
    argument=${argument//"$root"\//"$relative"/}
    [[ $argument == *"$root" ]] && argument=${argument%"$root"}$relative
    args+=("$argument")
done
exec "${args[@]}"
