#!/bin/sh
# wine-run.sh PROGRAM [ARG...]: runs a Windows program under wine for ctest, with its output and
# its exit status. The Windows tests name it as their emulator.
#
# Wine starts helper processes on demand (wineserver, services.exe, and explorer.exe for the
# desktop of the first program with a window) that inherit the program's output and outlive it
# by seconds. Were that output ctest's pipe, ctest would wait for the helpers too. So the
# program writes into a file, which is passed on once it has ended.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 125
trap 'rm -f "$out"' EXIT
trap 'exit 143' TERM INT HUP
wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
exit $status
