#!/usr/bin/env bash
# Installs what is missing, builds Pellamy and Pellamy Inbox and starts both under Wine, until
# Ctrl-C. With a display (DISPLAY set) they run there, their icons in the desktop's notification
# area. Without one they run on a virtual display, inside a Wine desktop with a taskbar; the
# tray menu and the send dialog are then opened through the tray icon's callback, a message is
# sent to this computer, and each step is photographed (the Inbox showing the message last);
# the paths of the three pictures are printed. Either way, as root, a message then crosses the
# wire: Pellamy under Wine on one host of a LAN of network namespaces sends it to pellamy-inbox
# on another, and what that printed is shown. Where Wine cannot start 32-bit programs it runs
# the 64-bit build of the same sources (see choose_windows_build).
set -euo pipefail
source "$(dirname "$0")/common.sh"
# Ctrl-C, or SIGTERM as timeout or a service manager sends it, ends the script through its
# exit, which stops the wine server (and with it the programs) and the virtual display. Those
# signal the process group too: the script may get the signal twice, and the second must not
# cut the stopping short.
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
# Polls a condition ten times a second, for at most the given number of seconds.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

desktop_exists() { xwd -display "$DISPLAY" -name "$desktop - Wine desktop" -silent >/dev/null 2>&1; }

# Posts a tray callback through the helper, which runs on the program's desktop to see its
# windows, under the Wine that $on names (none: this one; "on_wine PC": that host's).
# Explorer returns at once on a desktop that exists, so the helper's end shows in the status
# file it writes: its status, then the rectangles of what opened and of the taskbar, kept in
# shown for the screenshot.
tray() { # action...
    local status_file status
    status_file=$(mktemp)
    ${on:-} env PELLAMY_STATUS_FILE="Z:$status_file" "$wine" explorer "/desktop=$desktop,1024x768" \
        "Z:$win/traycall.exe" "$@"
    wait_for 30 test -s "$status_file" || true
    shown=$(tr -d '\r' <"$status_file") # written in text mode, the lines end in CR LF
    rm -f "$status_file"
    status=$(head -n 1 <<<"$shown")
    [ "$status" = 0 ] || { echo "traycall $1 failed" >&2; exit 1; }
}

# The screen cut to what the last tray callback opened, with a margin of desktop, down to the
# taskbar's bottom-right corner, where the notification area shows the icon.
screenshot() {
    local geometry
    geometry=$(awk -v margin=8 '
        $1 == "window" { left = $2 - margin; top = $3 - margin; right = $4 + margin; bottom = $5 + margin }
        $1 == "taskbar" { if ($4 > right) right = $4; if ($5 > bottom) bottom = $5 }
        END {
            if (left < 0) left = 0
            if (top < 0) top = 0
            printf "%dx%d+%d+%d", right - left, bottom - top, left, top
        }' <<<"$shown")
    xwd -root -display "$DISPLAY" -silent | convert xwd:- -crop "$geometry" +repage "$shots/$1"
    echo "Screenshot: $shots/$1"
}

# Pellamy under Wine on PC, a host of a LAN of network namespaces, sends a message across the
# wire to pellamy-inbox on INBOX; what the inbox printed is shown.
wire_demo() {
    local dir=$build/run-lan
    if [ "$(id -u)" != 0 ]; then
        echo "The message across the wire needs root, for the network namespaces: not shown."
        return
    fi
    rm -rf "$dir" && mkdir -p "$dir"
    lan_start pellamy-run && lan_host INBOX 1 && lan_host PC 2 && lan_up && lan_wine PC "$dir/wine"
    on_host INBOX "$build/host/linux/pellamy-inbox" --name INBOX >"$dir/inbox.out" 2>"$dir/inbox.err" &
    wait_for 5 grep -q "holding the name" "$dir/inbox.err"
    on_wine PC "$wine" explorer "/desktop=$desktop,1024x768" "Z:$program" >/dev/null 2>&1 &
    on="on_wine PC" tray open
    on="on_wine PC" tray send INBOX "Lunch at noon in the café?"
    wait_for 5 grep -q Lunch "$dir/inbox.out" || echo "pellamy-inbox printed nothing within 5 s" >&2
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

# The desktop lives as long as the programs on it; explorer returns when it closes. The Inbox
# comes first, to hold the mailslot that the message goes to.
"$wine" explorer "/desktop=$desktop,1024x768" "Z:$inbox" &
launcher=$!
wait_for 60 desktop_exists || { echo "The Wine desktop did not appear" >&2; exit 1; }
"$wine" explorer "/desktop=$desktop,1024x768" "Z:$program"

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
