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

status=0
ctest --test-dir "$build/host" --output-on-failure || status=1
ctest --test-dir "$build/win" --output-on-failure || status=1
exit $status
