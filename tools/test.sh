#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and the host build, and runs every
# test: the Windows suites under Wine on a virtual display, the host suites natively.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/tools/deps.sh"
build_windows
build_host
start_virtual_display
start_wine
# The tests' windows are not managed by an X window manager: there is none on the virtual
# display, and Wine would wait two seconds for each closed window to be acknowledged.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# A program that crashes ends with a backtrace instead of Wine's crash dialog, which would wait
# on the display (or on the end-to-end test's desktop, keeping it open) for a click.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

status=0
ctest --test-dir "$build/host" --output-on-failure || status=1
ctest --test-dir "$build/win" --output-on-failure || status=1
exit $status
