#!/usr/bin/env bash
# Installs what building, testing and running Pellamy needs, and only what is missing.
# Debian 12, as root.
set -euo pipefail

# wine32 is installed on every host: on one whose kernel cannot start 32-bit programs it
# stays unused, and the 64-bit build runs under wine64. fonts-wine holds Wine's own fonts
# (Tahoma, Marlett), only a recommendation of wine. The tests and the bench build a LAN of
# network namespaces (iproute2) and check the frames with tshark. pellamy-inbox and
# pellamy-notify use sd-bus (libsystemd-dev, found with pkg-config); their desktop test runs
# private buses (dbus-daemon, dbus-bin's dbus-monitor) and dunst, which draws the SVG icon
# through librsvg2-common. The Debian package is built with dpkg-dev, debhelper and fakeroot,
# checked with lintian, and its test installs it, which needs systemd (systemd-sysusers).
packages=(cmake make g++ googletest clang libclang-rt-14-dev valgrind
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 fonts-wine xvfb x11-apps imagemagick python3
          iproute2 tshark
          pkg-config libsystemd-dev dbus-daemon dbus-bin dunst librsvg2-common fonts-dejavu-core
          build-essential dpkg-dev debhelper fakeroot lintian systemd)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -q
    # wireshark-common asks whether ordinary users may capture; root captures either way.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | debconf-set-selections
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
