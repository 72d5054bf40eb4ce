#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: the toolchain file's emulator, with the Wine
# loader of its build first.
#   wine-run.sh LOADER PROGRAM [ARGUMENT...]
# Wine's own helper processes (services, the desktop) can outlive the program and would keep
# CTest's output pipe open, so the output goes through a file.
out=$(mktemp)
"$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
