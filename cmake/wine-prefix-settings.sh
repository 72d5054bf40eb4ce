#!/bin/sh
# Settings of the tests' Wine prefix, made before any suite runs (a CTest fixture), with the
# Wine loader of the build (the toolchain file names it):
#   wine-prefix-settings.sh LOADER
# - windows not managed by an X window manager: there is none on the virtual display, and
#   Wine would wait two seconds for each closed window to be acknowledged;
# - no crash dialog: it would wait for a click, holding a test's desktop open.
run="$(dirname "$0")/wine-run.sh"
"$run" "$1" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null &&
    "$run" "$1" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
