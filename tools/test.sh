#!/usr/bin/env bash
# Installs what is missing, builds the Windows program (32-bit, and the same sources for
# 64-bit Windows) and the host build, and runs every test: the Windows suites of the build
# this machine runs (see choose_windows_build) under Wine on a virtual display, the host
# suites natively. Then builds the Debian package and tests its install and purge.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/tools/deps.sh"
choose_windows_build testing wineprefix
build_windows win32
build_windows win64
build_host
start_virtual_display
start_wine

status=0
ctest --test-dir "$build/host" --output-on-failure || status=1
ctest --test-dir "$win" --output-on-failure || status=1
if "$root/tools/package.sh"; then
    "$root/tests/debian/package_test.sh" "$build"/deb/pellamy_*_"$(dpkg --print-architecture)".deb || status=1
else
    status=1
fi
exit $status
