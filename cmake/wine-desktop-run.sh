#!/bin/sh
# Runs a Windows program for CTest on a Wine desktop of its own: a virtual screen with a
# taskbar and a notification area, on the X display in DISPLAY. Programs that the program
# starts run on that desktop too and can see each other's windows.
#   wine-desktop-run.sh LOADER PROGRAM [ARGUMENT...]
# LOADER is the Wine loader of the program's build (the toolchain file names it).
# Explorer, which starts the program on the desktop, keeps its exit status to itself, so the
# program writes it to the file that PELLAMY_STATUS_FILE names. The desktop closes when the
# last program on it has ended; then explorer returns.
loader=$1
shift
status_file=$(mktemp)
out=$(mktemp)
PELLAMY_STATUS_FILE="Z:$status_file" timeout -k 5 150 \
    "$loader" explorer "/desktop=pellamy-test-$$,800x600" "$@" >"$out" 2>&1
launcher=$?
cat "$out"
if [ $launcher -eq 124 ] || [ $launcher -eq 137 ]; then
    echo "$1 did not end, or its desktop did not close, within 150 s" >&2
    status=1
else
    # Written in text mode: the line ends in CR LF.
    status=$(tr -d '\r\n' <"$status_file")
    if [ -z "$status" ]; then
        echo "$1 ended without writing its status" >&2
        status=1
    fi
fi
rm -f "$status_file" "$out"
exit "$status"
