#!/usr/bin/env bash
# Installs what is missing, builds Pellamy and Pellamy Inbox and starts both under Wine, until
# Ctrl-C: on the display there is, or on a virtual one inside a Wine desktop, where the tray
# menu, the send dialog and the Inbox showing a message sent to this computer are photographed
# through the tray icon's callback. Then, as root, Pellamy under Wine on one host of a LAN of
# network namespaces sends a message across the wire to pellamy-inbox on another.
set -euo pipefail
source "$(dirname "$0")/common.sh"
# Ctrl-C or SIGTERM ends the script through its exit, which stops all it started; a second
# signal, sent to the process group, must not cut that short.
trap 'trap : INT TERM; exit 130' INT
trap 'trap : INT TERM; exit 143' TERM

"$root/tools/deps.sh"
# A prefix of its own, so that the program and the tests can run at once.
choose_windows_build running wineprefix-run
build_windows "$WINEARCH"
build_host
program=$win/Pellamy.exe
inbox=$win/PellamyInbox.exe
bits=32
[ "$WINEARCH" = win64 ] && bits=64

desktop=Pellamy
# A program on the Wine desktop, under the Wine that $on names (none: this one; "on_wine PC":
# that host's). The desktop lives as long as the programs on it: explorer returns at once on a
# desktop that exists, and when it closes on one it made.
on_desktop() { ${on:-} "$wine" explorer "/desktop=$desktop,1024x768" "$@"; } # program argument...
# Starts the first program (its process in $launcher), which makes the desktop, and waits
# until the desktop shows.
start_desktop() { # program
    on_desktop "Z:$1" >/dev/null 2>&1 &
    launcher=$!
    wait_until 600 eval '${on:-} xwd -name "$desktop - Wine desktop" -silent >/dev/null 2>&1' ||
        { echo "The Wine desktop did not appear" >&2; exit 1; }
}

# Posts a tray callback through the helper, which runs on the program's desktop to see its
# windows. Its end shows in the status file it writes, kept in shown for the screenshot.
tray() { # action...
    local status_file
    status_file=$(mktemp)
    PELLAMY_STATUS_FILE="Z:$status_file" on_desktop "Z:$win/traycall.exe" "$@"
    wait_until 300 test -s "$status_file" || true
    shown=$(tr -d '\r' <"$status_file") # written in text mode, the lines end in CR LF
    rm -f "$status_file"
    [ "$(head -n 1 <<<"$shown")" = 0 ] || { echo "traycall $1 failed" >&2; exit 1; }
}

# The part of the screen that the last tray callback told.
screenshot() {
    xwd -root -display "$DISPLAY" -silent |
        convert xwd:- -crop "$(awk '$1 == "crop" { print $2 }' <<<"$shown")" +repage "$shots/$1"
    echo "Screenshot: $shots/$1"
}

# Pellamy under Wine on PC, a host of a LAN of network namespaces, sends a message across the
# wire to pellamy-inbox on INBOX; what the inbox printed is shown.
wire_demo() {
    local dir=$build/run-lan on="on_wine PC" launcher
    if [ "$(id -u)" != 0 ]; then
        echo "The message across the wire needs root, for the network namespaces: not shown."
        return
    fi
    rm -rf "$dir" && mkdir -p "$dir"
    lan_start pellamy-run && lan_host INBOX 1 && lan_host PC 2 && lan_up && lan_wine PC "$dir/wine"
    on_host INBOX "$build/host/linux/pellamy-inbox" --name INBOX >"$dir/inbox.out" 2>"$dir/inbox.err" &
    wait_for_text "$dir/inbox.err" "holding the name" 50
    start_desktop "$program"
    tray open
    tray send INBOX "Lunch at noon in the café?"
    wait_for_text "$dir/inbox.out" Lunch 50 || echo "pellamy-inbox printed nothing within 5 s" >&2
    echo "Pellamy on PC (10.138.0.2) sent a message across the wire to pellamy-inbox on INBOX (10.138.0.1), which printed:"
    sed 's/^/    /' "$dir/inbox.out"
}

if [ -n "${DISPLAY:-}" ]; then
    start_wine
    wire_demo
    echo "Pellamy and Pellamy Inbox run ($win, $bits-bit); their icons are in the notification area. Ctrl-C ends them."
    "$wine" "$inbox" &
    "$wine" "$program" &
    wait
    exit 0
fi

start_virtual_display
start_wine
shots=$build/screenshots
mkdir -p "$shots"

# The Inbox first, to hold the mailslot that the message goes to.
start_desktop "$inbox"
on_desktop "Z:$program"

tray menu
screenshot tray-menu.png
tray dismiss
tray open
screenshot send-dialog.png
tray send
screenshot inbox.png
wire_demo

echo "Pellamy and Pellamy Inbox ($win, $bits-bit) run on the virtual display $DISPLAY (Wine desktop \"$desktop\"). Ctrl-C ends them."
wait "$launcher"
