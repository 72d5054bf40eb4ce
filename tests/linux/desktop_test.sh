#!/usr/bin/env bash
# A message from the LAN to a desktop: pellamy-inbox in a network namespace announces it on a
# private system bus, pellamy-notify (as the user nobody) shows it through dunst, a real
# notification server, on a private session bus and a virtual display. Both buses are
# dbus-daemons with configurations written here, the system bus's with the package's policy;
# dbus-monitor records both, and the checks read those records. The notification's picture
# is saved for the README.
#   desktop_test.sh PELLAMY-SEND PELLAMY-INBOX PELLAMY-NOTIFY BUS-EMIT POLICY ICON-DIR PICTURE
set -uo pipefail

send=$1 inbox=$2 notify=$3 emit=$4 policy=$5 icons=$6 picture=$7
source "$(dirname "$0")/../../tools/lan.sh"
export LC_ALL=C.UTF-8

die() {
    echo "desktop_test: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || die "this test makes network namespaces and a system bus, which needs root"
for tool in ip dbus-daemon dbus-monitor dunst dunstctl Xvfb xwd convert setpriv timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (tools/deps.sh installs it)"
done

work=$(mktemp -d)
chmod 755 "$work"
pids=()
finish() {
    local pid
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    lan_stop
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# --- Helpers --------------------------------------------------------------------------------
# Waits up to a number of tenths of a second for a command to succeed.
wait_until() { # tenths command...
    local tenths=$1 _
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
has_text() { grep -qF -- "$2" "$1" 2>/dev/null; } # file text
count_is() { [ "$("${@:2}")" = "$1" ]; } # number command...

source "$(dirname "$0")/../checks.sh"

# The desktop's user: nobody, with a home of its own here.
home=$work/home
mkdir -p "$home"
chown nobody "$home"
# An array, not a function: what it starts in the background is then $! itself.
as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --inh-caps=-all env HOME="$home")

# The messages a bus carried of one member, one a line: the time, then the top-level
# arguments, tab-separated, strings without their quotes.
bus_messages() { # log member
    awk -v member="member=$2" '
        /^[a-z]/ {
            if (taking) print line
            taking = $0 ~ (member "$")
            for (i = 1; i <= NF; i++) if ($i ~ /^time=/) line = substr($i, 6)
            next
        }
        taking && /^   [a-z]/ {
            value = $0
            sub(/^   [a-z0-9]+ /, "", value)
            if (value ~ /^".*"$/) value = substr(value, 2, length(value) - 2)
            line = line "\t" value
        }
        END { if (taking) print line }' "$1"
}

# --- The desktop ----------------------------------------------------------------------------
display_file=$work/display
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$display_file" 2>"$work/xvfb.err" &
pids+=($!)
wait_until 100 test -s "$display_file" || die "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=:$(head -n 1 "$display_file")

cat >"$work/session.conf" <<EOF
<busconfig>
  <type>session</type>
  <listen>unix:path=$home/session.socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
"${as_user[@]}" dbus-daemon --config-file="$work/session.conf" --nofork --nopidfile 2>"$work/session-bus.err" &
pids+=($!)
wait_until 50 test -S "$home/session.socket" || die "the session bus did not start: $(cat "$work/session-bus.err")"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$home/session.socket
"${as_user[@]}" dbus-monitor >"$work/session.log" 2>&1 &
pids+=($!)

# The system bus, with Debian's default policy and the package's: anyone may connect and
# send signals, no one may own a name that a policy does not give them.
system_socket=$work/system.socket
cat >"$work/system.conf" <<EOF
<busconfig>
  <type>system</type>
  <listen>unix:path=$system_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
  </policy>
  <policy user="root">
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Monitoring"/>
  </policy>
  <include>$policy</include>
</busconfig>
EOF
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$system_socket

# pellamy-notify first, before there is a system bus: it must wait for one.
"${as_user[@]}" "$notify" 2>"$work/notify.err" &
notify_pid=$!
pids+=("$notify_pid")
check "pellamy-notify without a system bus says so" \
    wait_until 50 has_text "$work/notify.err" "cannot connect to the system bus"
check "... and keeps waiting" kill -0 "$notify_pid"

dbus-daemon --config-file="$work/system.conf" --nofork --nopidfile 2>"$work/system-bus.err" &
system_bus_pid=$!
pids+=("$system_bus_pid")
wait_until 50 test -S "$system_socket" || die "the system bus did not start: $(cat "$work/system-bus.err")"
dbus-monitor --system >"$work/system.log" 2>&1 &
pids+=($!)
check "pellamy-notify connects once there is one" \
    wait_until 50 has_text "$work/notify.err" "listening on the system bus again"

# --- The inbox ------------------------------------------------------------------------------
lan_start pellamy-desktop && lan_host ALPHA 1 && lan_host CHARLIE 2 && lan_host DELTA 3 && lan_up ||
    die "could not make the network namespaces of the test LAN"
on_host ALPHA "$inbox" --name ALPHA >"$work/inbox.out" 2>"$work/inbox.err" &
inbox_pid=$!
pids+=("$inbox_pid")
wait_until 30 has_text "$work/inbox.err" "holding the name ALPHA" || die "the inbox did not start: $(cat "$work/inbox.err")"
check "the inbox owns org.pellamy.Inbox" \
    wait_until 30 eval 'bus_messages "$work/system.log" NameOwnerChanged | grep -q "	org.pellamy.Inbox		:"'
lacks() { ! grep -qF -- "$2" "$1"; } # file text
check "... without a word about the bus" lacks "$work/inbox.err" "bus"

send_from() { # host argument...
    local host=$1
    shift
    # In a subshell: on_host takes the place of a subshell, which a flood's sender is.
    (on_host "$host" timeout 10 "$send" --from "$host" "$@" </dev/null >>"$work/send.out" 2>&1)
}
received() { # text: the number of MessageReceived with this text
    bus_messages "$work/system.log" MessageReceived | awk -F'\t' -v t="$1" '$4 == t' | wc -l
}
notified() { # summary body: the number of Notify calls with them
    bus_messages "$work/session.log" Notify | awk -F'\t' -v s="$1" -v b="$2" '$5 == s && $6 == b' | wc -l
}

# No notification server yet: the message is announced, not shown, and pellamy-notify says why.
send_from CHARLIE ALPHA Nobody shows this
check "a message announced before there is a notification server" wait_until 30 count_is 1 received "Nobody shows this"
check "... cannot be shown, and pellamy-notify says why" \
    wait_until 30 has_text "$work/notify.err" "cannot show notifications (The name org.freedesktop.Notifications was not provided"

cat >"$work/dunstrc" <<EOF
[global]
    font = DejaVu Sans 11
    width = 380
    origin = top-right
    offset = 16x16
    padding = 12
    horizontal_padding = 12
    frame_width = 1
    frame_color = "#7f8c8d"
    icon_path = $icons
    min_icon_size = 48
    max_icon_size = 48
    format = "<b>%s</b>\n%b"
[urgency_normal]
    background = "#fdfdfd"
    foreground = "#202020"
    timeout = 0
EOF
"${as_user[@]}" dunst -config "$work/dunstrc" >"$work/dunst.log" 2>&1 &
pids+=($!)
server_up() { "${as_user[@]}" dunstctl count displayed >/dev/null 2>&1; }
wait_until 50 server_up || die "dunst did not start: $(cat "$work/dunst.log")"

# --- A message ------------------------------------------------------------------------------
started_us=$(($(date +%s%N) / 1000))
text='Lunch at noon in the café? Fish & chips > pasta <3'
send_from CHARLIE ALPHA "$text"
ended_us=$(($(date +%s%N) / 1000))
check "the message is announced once on the system bus" wait_until 30 count_is 1 received "$text"
announced() {
    bus_messages "$work/system.log" MessageReceived | awk -F'\t' -v t="$text" -v from="$started_us" -v to="$ended_us" '
        $4 == t { ok = $2 == "CHARLIE" && $3 == "ALPHA" && $5 == "10.138.0.2" && $6 >= from && $6 <= to && NF == 6 }
        END { exit !ok }'
}
check "... from CHARLIE to ALPHA, its address and its time" announced
escaped='Lunch at noon in the café? Fish &amp; chips &gt; pasta &lt;3'
check "... and shown: summary and escaped body" wait_until 30 count_is 1 notified "Message from CHARLIE" "$escaped"
as_notified() {
    bus_messages "$work/session.log" Notify | awk -F'\t' -v b="$escaped" '
        $6 == b { ok = $2 == "Pellamy" && $3 == 0 && $4 == "pellamy" && $NF == 0 }
        END { exit !ok }'
}
check "... by Pellamy, with its icon, until dismissed" as_notified
displayed() { "${as_user[@]}" dunstctl count displayed 2>/dev/null; }
check "dunst shows it" wait_until 30 count_is 1 displayed
sleep 0.5 # drawn
mkdir -p "$(dirname "$picture")"
xwd -root -silent | convert xwd:- -trim +repage "$picture" 2>"$work/picture.err"
check "its picture is taken ($picture)" test -s "$picture"

# --- What is not the inbox's ----------------------------------------------------------------
"${as_user[@]}" "$emit" sssst MALLORY ALPHA "Forged by a user" 10.138.0.9 1
send_from CHARLIE ALPHA After the forgery
wait_until 30 count_is 1 received "After the forgery"
check "a MessageReceived from another connection than the inbox's goes on the bus" count_is 1 received "Forged by a user"
sleep 0.5
check "... is not shown" count_is 0 notified "Message from MALLORY" "Forged by a user"
check "... while the inbox's next one is" wait_until 30 count_is 1 notified "Message from CHARLIE" "After the forgery"

# --- A flood: 100 messages from CHARLIE and 100 from DELTA at once ----------------------------
flood_from() { # host
    local i
    for i in $(seq 100); do send_from "$1" ALPHA "Flood $i from $1"; done
}
flood_from CHARLIE &
flooding=($!)
flood_from DELTA &
flooding+=($!)
pids+=("${flooding[@]}")
wait "${flooding[@]}"
flood_received() { [ "$(bus_messages "$work/system.log" MessageReceived | grep -c "	Flood ")" = 200 ]; }
check "200 messages of a flood are announced" wait_until 100 flood_received
# Shown one by one plus counted add up to 200, in at most a handful of notifications.
flood_told() {
    bus_messages "$work/session.log" Notify | awk -F'\t' '
        $6 ~ /^Flood / { shown++ }
        $5 ~ /^[0-9]+ more messages? from [0-9]+ computers?$/ { split($5, w, " "); counted += w[1]; counts++ }
        END { exit !(shown + counted == 200) }'
}
check "... shown or counted, all of them" wait_until 150 flood_told
flood_calm() {
    bus_messages "$work/session.log" Notify | awk -F'\t' '
        $6 ~ /^Flood / || $5 ~ / more messages? from / { flood++ }
        { time[NR] = $1 }
        END {
            for (i = 4; i <= NR; i++) if (time[i] - time[i - 3] < 9.9) { print "  four notifications in " time[i] - time[i - 3] " s"; bad = 1 }
            if (flood > 5) { print "  " flood " notifications for the flood"; bad = 1 }
            exit bad
        }'
}
check "... in at most 5 notifications, never 4 in 10 s" flood_calm
check "... counted as from 2 computers" eval 'bus_messages "$work/session.log" Notify | grep -qE "	[0-9]+ more messages from 2 computers	"'

# --- The name changes hands -----------------------------------------------------------------
kill -TERM "$inbox_pid"
wait "$inbox_pid"
check "the inbox stops on SIGTERM and gives the name up" \
    wait_until 30 eval 'bus_messages "$work/system.log" NameOwnerChanged | grep -q "	org.pellamy.Inbox	:[0-9.]*	$"'
# A new owner of the name (root may own it) whose arguments are of the wrong types.
"$emit" --own ssssi WRONG ALPHA "Wrong types" 10.138.0.9 1
check "a MessageReceived of the wrong types from the name's owner is refused, saying so" \
    wait_until 30 has_text "$work/notify.err" "ignored a MessageReceived with the arguments (ssssi), not (sssst)"
# Room for one more notification after the flood's, then one from the next owner.
wait_for_room() {
    bus_messages "$work/session.log" Notify | awk -v now="$(date +%s.%N)" '{ time[NR] = $1 } END { exit !(NR < 3 || now - time[NR - 2] > 10.5) }'
}
wait_until 120 wait_for_room
"$emit" --own sssst OWNER ALPHA "From the next owner" 10.138.0.9 1
check "... and one of the right types from the next owner is shown" \
    wait_until 30 count_is 1 notified "Message from OWNER" "From the next owner"
check "... and the wrong one, which went on the bus, is not" \
    eval 'grep -qF "Wrong types" "$work/system.log" && ! grep -qF "Wrong types" "$work/session.log"'

# --- The system bus goes ------------------------------------------------------------------
kill -TERM "$system_bus_pid"
check "pellamy-notify says when the system bus goes" wait_until 30 has_text "$work/notify.err" "lost the system bus"
sleep 0.5
check "... and keeps waiting" kill -0 "$notify_pid"
kill -TERM "$notify_pid"
wait "$notify_pid"
status=$?
check "pellamy-notify exits 0 on SIGTERM (status $status)" [ "$status" = 0 ]

[ "$failures" -gt 0 ] && bus_messages "$work/session.log" Notify >"$work/notify-calls"
checked desktop_test "$work"/{notify.err,inbox.err,send.out,dunst.log,notify-calls}
