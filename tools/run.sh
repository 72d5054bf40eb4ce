#!/usr/bin/env bash
# Installs what is missing, builds Pellamy and starts it under Wine.
set -euo pipefail
export WINEPREFIX=$(cd "$(dirname "$0")/.." && pwd)/build/win/wineprefix-run
source "$(dirname "$0")/common.sh"

"$root/tools/deps.sh"
build_windows
[ -n "${DISPLAY:-}" ] || start_virtual_display
start_wine
wine "$build/win/Pellamy.exe"
