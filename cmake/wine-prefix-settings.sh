#!/bin/sh
# Settings of the tests' Wine prefix, made before any suite runs (a CTest fixture):
# - windows not managed by an X window manager: there is none on the virtual display, and
#   Wine would wait two seconds for each closed window to be acknowledged;
# - no crash dialog: it would wait for a click, holding a test's desktop open.
run="$(dirname "$0")/wine-run.sh"
"$run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null &&
    "$run" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
