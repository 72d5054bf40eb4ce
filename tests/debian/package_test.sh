#!/usr/bin/env bash
# Installs the package pellamy and purges it, in a throw-away root: an overlay whose lower
# layer is this machine's / and whose changes go to a tmpfs, in a mount namespace of its own,
# chrooted into, with no systemd running there. After the install every file is in place, the
# unit is enabled but not started and the programs answer --version; a changed
# /etc/default/pellamy-inbox survives a reinstall; after the purge no file is left. Then, from
# outside, the machine is as it was: no package, no user, no file, no mount.
#   package_test.sh DEB
set -uo pipefail

deb=$(realpath "$1")
files=(/usr/bin/pellamy-send /usr/bin/pellamy-inbox /usr/bin/pellamy-notify
    /usr/share/man/man1/pellamy-send.1.gz /usr/share/man/man1/pellamy-inbox.1.gz
    /usr/share/man/man1/pellamy-notify.1.gz /lib/systemd/system/pellamy-inbox.service
    /usr/lib/sysusers.d/pellamy-inbox.conf /usr/share/dbus-1/system.d/org.pellamy.Inbox.conf
    /etc/xdg/autostart/pellamy-notify.desktop /usr/share/icons/hicolor/scalable/apps/pellamy.svg
    /etc/default/pellamy-inbox /usr/share/doc/pellamy/copyright)
enabled=/etc/systemd/system/multi-user.target.wants/pellamy-inbox.service

source "$(dirname "$0")/../checks.sh"
all_exist() { # root
    local file missing=0
    for file in "${files[@]}"; do
        [ -e "$1$file" ] || { echo "  missing: $file"; missing=1; }
    done
    return $missing
}
none_exist() { # root
    local file left=0
    for file in "${files[@]}" "$enabled"; do
        [ -e "$1$file" ] || [ -L "$1$file" ] && { echo "  left: $file"; left=1; }
    done
    return $left
}
not_installed() { # dpkg-query option...
    ! dpkg-query "$@" -W -f='${Status}\n' pellamy 2>/dev/null | grep -q "installed"
}

# --- Inside: the throw-away root ----------------------------------------------------------
if [ "${2:-}" = --inside ]; then
    top=$3
    mount -t tmpfs pellamy-package-test "$top" || exit 1
    mkdir "$top/upper" "$top/work" "$top/root"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root" || exit 1
    root=$top/root
    for dir in proc sys dev; do mount --rbind "/$dir" "$root/$dir" || exit 1; done
    # A /run without systemd's: nothing may start the service. A /tmp of its own.
    mount -t tmpfs tmpfs "$root/run" && mount -t tmpfs tmpfs "$root/tmp" || exit 1
    cp "$deb" "$root/tmp/pellamy.deb"
    in_root() { chroot "$root" "$@"; }

    check "the package installs" in_root dpkg -i /tmp/pellamy.deb
    check "... every file in place" all_exist "$root"
    check "... /etc/default/pellamy-inbox a configuration file" \
        eval 'in_root dpkg-query -W -f="\${Conffiles}\n" pellamy | grep -q "^ /etc/default/pellamy-inbox "'
    versions() {
        local program
        for program in pellamy-send pellamy-inbox pellamy-notify; do
            [ "$(in_root "/usr/bin/$program" --version)" = "$program $version" ] || return 1
        done
    }
    version=$(dpkg-deb -f "$deb" Version)
    check "... the programs answer --version $version" versions
    check "... the unit's user made, with no login" \
        eval 'in_root getent passwd pellamy-inbox | grep -q ":/usr/sbin/nologin$"'
    check "... the unit enabled" test -L "$root$enabled"
    running() { # whether a process runs a program of the throw-away root
        local exe
        for exe in /proc/[0-9]*/exe; do
            case $(readlink "$exe" 2>/dev/null) in "$root"/usr/bin/pellamy-*) return 0 ;; esac
        done
        return 1
    }
    check "... but not started" eval '! running'

    echo 'OPTIONS="--name KEPT"' >>"$root/etc/default/pellamy-inbox"
    in_root dpkg -i /tmp/pellamy.deb >/dev/null 2>&1
    check "a reinstall keeps a changed /etc/default/pellamy-inbox" grep -qx 'OPTIONS="--name KEPT"' "$root/etc/default/pellamy-inbox"

    check "the package purges" in_root dpkg --purge pellamy
    check "... no file left" none_exist "$root"
    check "... dpkg knows it no more" not_installed --root="$root"
    exit $((failures > 0))
fi

# --- Outside ------------------------------------------------------------------------------
[ "$(id -u)" = 0 ] || { echo "package_test: needs root, for its mount namespace" >&2; exit 1; }
[ -f "$deb" ] || { echo "package_test: no package $1 (tools/package.sh builds it)" >&2; exit 1; }
# So that this test shows the package leaves nothing, nothing may be there before.
if ! not_installed || getent passwd pellamy-inbox >/dev/null || ! none_exist ""; then
    echo "package_test: pellamy is installed on this machine; this test needs one without it" >&2
    exit 1
fi
top=$(mktemp -d)
trap 'rmdir "$top"' EXIT
unshare --mount --propagation private "$0" "$deb" --inside "$top"
inside=$?

check "this machine: no package pellamy" not_installed
check "... no user pellamy-inbox" eval '! getent passwd pellamy-inbox >/dev/null'
check "... none of its files" none_exist ""
check "... no mount of the test" eval '! grep -q "pellamy-package-test\|$top" /proc/mounts'
[ "$inside" = 0 ] && [ "$failures" = 0 ] || { echo "package_test: checks failed"; exit 1; }
echo "package_test: all checks passed"
