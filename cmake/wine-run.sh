#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest. Wine's own helper processes (services, the
# desktop) can outlive the program and would keep CTest's output pipe open, so the output
# goes through a file.
out=$(mktemp)
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit $status
