#!/usr/bin/env bash
# The Windows programs on a LAN of network namespaces (tools/lan.sh), with Linux's
# pellamy-inbox as the receiver and tshark on the bridge. ALPHA (.1) runs pellamy-inbox; PC (.2)
# runs Wine, with a server of its own, pellamy-send.exe, and Pellamy.exe on a Wine desktop,
# driven by traycall.exe; Linux's pellamy-send runs on PC too, so that the frames of the three
# senders can be compared byte for byte.
#   wine_lan_test.sh LOADER PELLAMY-SEND.EXE PELLAMY.EXE TRAYCALL.EXE PELLAMY-SEND PELLAMY-INBOX
set -uo pipefail

wine=$1 send_exe=$2 pellamy=$3 traycall=$4 send=$5 inbox=$6
source "$(dirname "$0")/../tools/lan.sh"
# The inbox is kept from the machine's system bus.
export LC_ALL=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent
export WINEARCH=win32
[[ $wine == *64 ]] && WINEARCH=win64

die() {
    echo "wine_lan_test: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || die "this test makes network namespaces, which needs root; it runs as $(id -un)"
for program in "$send" "$inbox"; do
    [ -x "$program" ] || die "$program is missing: the host tree is built first (tools/test.sh)"
done

work=$(mktemp -d)
trap 'lan_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
lan_start pellamy-wine && lan_host ALPHA 1 && lan_host PC 2 && lan_up || die "could not make the test LAN"
lan_capture "$work/lan.pcap" "udp port 137 or udp port 138" || die "no capture"
on_host ALPHA "$inbox" --name ALPHA --json >"$work/inbox.out" 2>"$work/inbox.err" &
inbox_pid=$!
lan_wine PC "$work/wine" || die "no Wine on PC"
wait_for_text "$work/inbox.err" "holding the name ALPHA" 30 || die "the inbox did not start: $(cat "$work/inbox.err")"

source "$(dirname "$0")/checks.sh"
arrived() { wait_for_text "$work/inbox.out" "$1" 30; } # JSON text

# --- pellamy-send.exe ---------------------------------------------------------------------
# Its status in $status, its output in $work/exe.out.
send_exe() { # argument...
    on_wine PC timeout 20 "$wine" "$send_exe" "$@" >"$work/exe.out" 2>&1
    status=$?
}
quietly() {
    [ "$status" = 0 ] && [ ! -s "$work/exe.out" ] && return 0
    echo "  status $status: $(cat "$work/exe.out")"
    return 1
}

send_exe ALPHA To Alpha by name </dev/null
check "pellamy-send.exe to ALPHA succeeds quietly" quietly
check "... and ALPHA takes it, from PC" arrived '{"from":"PC","to":"ALPHA","text":"To Alpha by name"'
send_exe '*' To the workgroup </dev/null
check "pellamy-send.exe to * succeeds quietly" quietly
check "... and ALPHA takes it" arrived '"to":"*","text":"To the workgroup"'
send_exe 10.138.0.1 By address </dev/null
check "pellamy-send.exe to 10.138.0.1 succeeds quietly" quietly
check "... and ALPHA takes it" arrived '"to":"10.138.0.1","text":"By address"'
# Bytes from a pipe that are valid UTF-8 are taken as UTF-8; the final line break goes.
printf 'Caf\xc3\xa9\ncr\xc3\xa8me\n' >"$work/piped.txt"
send_exe ALPHA <"$work/piped.txt"
check "pellamy-send.exe with standard input from a pipe succeeds quietly" quietly
check "... and the text arrives whole" arrived '"text":"Café\ncrème"'
SECONDS=0
send_exe NOBODY Anyone there </dev/null
check "pellamy-send.exe to an unknown name exits 2 (status $status)" [ "$status" = 2 ]
# Written to a file, its lines end in CR LF, as Windows programs' do.
check "... saying so" grep -qx $'pellamy-send: no computer answered to NOBODY on this network\r' "$work/exe.out"
check "... within 3 s with Wine's start ($SECONDS s)" [ "$SECONDS" -le 3 ]

# --- Pellamy.exe, on a Wine desktop on PC ---------------------------------------------------
desktop=Pellamy
on_wine PC "$wine" explorer "/desktop=$desktop,800x600" "Z:$pellamy" >/dev/null 2>&1 &
# The desktop lives as long as the programs on it: Pellamy's explorer makes it, and traycall's
# joins it and returns at once.
desktop_exists() { on_wine PC xwd -name "$desktop - Wine desktop" -silent >/dev/null 2>&1; }
wait_until 300 desktop_exists || die "the Wine desktop did not appear"
# traycall's status file: its status, then what it has to tell. In a subshell of its own, so
# that tray works inside $( ).
tray() { # action...
    local status_file=$work/tray.status
    rm -f "$status_file"
    (on_wine PC env PELLAMY_STATUS_FILE="Z:$status_file" timeout 60 "$wine" explorer "/desktop=$desktop,800x600" \
        "Z:$traycall" "$@" >/dev/null 2>&1)
    for _ in $(seq 200); do
        [ -s "$status_file" ] && break
        sleep 0.1
    done
    tr -d '\r' <"$status_file" 2>/dev/null
}
check "Pellamy's send dialog opens" [ "$(tray open | head -n 1)" = 0 ]
# Wine cannot open a remote mailslot: Pellamy sends the record itself.
shown=$(tray send ALPHA 'From the dialog')
check "Pellamy.exe sends to ALPHA without a box ($(echo $shown))" [ "$shown" = $'0\nboxes' ]
check "... and ALPHA takes it, from PC" arrived '{"from":"PC","to":"ALPHA","text":"From the dialog"'
shown=$(tray send NOBODY 'Anyone there')
check "Pellamy.exe to a name nobody holds shows the boxes in order ($(echo $shown))" \
    [ "$(sed -n 2p <<<"$shown")" = "boxes CreateFile WriteFile" ]

# --- The three senders' frames --------------------------------------------------------------
# The same message to ALPHA, as the receivers' code page 437 has it.
message=$'Le m\u00eame message'
send_exe ALPHA "$message" </dev/null
on_host PC timeout 10 "$send" --from PC --codepage 437 ALPHA "$message"
tray send ALPHA "$message" >/dev/null
arrived '"text":"Le même message"'
sleep 0.5 # the last frames, still on their way to the capture file
kill -TERM "$lan_tshark"
wait_for_exit "$lan_tshark" 50
# From the datagram header on, with the DGM_ID (bytes 2 and 3) left out: the one field
# that differs when the three senders share their computer's name, address and port 138.
tshark -r "$work/lan.pcap" -Y 'nbdgm && data.data contains "Le m"' -T fields -e udp.payload 2>/dev/null |
    tr -d : | cut -c1-4,9- >"$work/payloads"
kinds=$(sort -u "$work/payloads" | wc -l) count=$(wc -l <"$work/payloads")
check "the three senders' datagrams are the same bytes ($count datagrams, $kinds kinds)" [ "$count/$kinds" = 3/1 ]

kill -TERM "$inbox_pid"
wait_for_exit "$inbox_pid" 30
checked wine_lan_test "$work"/inbox.{out,err}
