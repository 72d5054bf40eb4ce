#!/usr/bin/env bash
# Builds the Debian package pellamy with dpkg-buildpackage from a copy of the sources in
# build/deb/, where the .deb and its companions land too, and checks it with lintian: no
# error, no warning. Debian 12, as root; installs first what is missing, the build
# dependencies by apt-get build-dep from debian/control.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PELLAMY_BUILD:-$root/build}
out=$build/deb

rm -rf "$out"
mkdir -p "$out/pellamy"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$out/pellamy" -xf -
cd "$out/pellamy"
for tool in dpkg-checkbuilddeps:dpkg-dev lintian:lintian; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ -n "${missing[*]:-}" ] || ! dpkg-checkbuilddeps 2>/dev/null; then
    apt-get update -q
    [ -z "${missing[*]:-}" ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q .
fi
DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -b -us -uc
lintian --fail-on error,warning --info "$out"/pellamy_*.changes
ls "$out"/pellamy_*.deb
