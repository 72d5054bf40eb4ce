#!/usr/bin/env bash
# Builds the Debian package pellamy with dpkg-buildpackage from a copy of the sources in
# build/deb/, where the .deb and its companions land too, and checks it with lintian: no
# error, no warning. Debian 12, as root; installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAMY_BUILD:-$root/build}
out=$build/deb

"$root/tools/deps.sh"
rm -rf "$out"
mkdir -p "$out/pellamy"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$out/pellamy" -xf -
(cd "$out/pellamy" && DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -b -us -uc)
lintian --fail-on error,warning --info "$out"/pellamy_*.changes
ls "$out"/pellamy_*.deb
