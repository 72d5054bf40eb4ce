#!/usr/bin/env bash
# tools/bench.sh's figures of pellamy-inbox, pellamy-send and pellamy-send.exe, measured on a
# LAN of network namespaces made and removed here (tools/lan.sh): RX (10.138.0.1) runs the
# inbox as INBOX, TX (10.138.0.2) sends, the Windows program under the Wine loader WINE with a
# prefix and server of its own. Writes "key value" lines to FIGURES. Needs root.
#   wire.sh HOST-TREE WINDOWS-TREE WINE FIGURES
set -uo pipefail

tree=$1 win=$2 wine=$3 figures=$4
inbox=$tree/linux/pellamy-inbox
bench=$tree/tools/bench/linux_bench
rx_ip=10.138.0.1
source "$(dirname "$0")/../lan.sh"
export LC_ALL=C.UTF-8

die() { echo "wire.sh: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'lan_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
lan_start pellamy-bench && lan_host RX 1 && lan_host TX 2 && lan_up || die "could not make the network namespaces"

stop() { # pid
    kill -TERM "$1" 2>/dev/null
    wait_for_exit "$1" 30
}
start_inbox() {
    on_host RX $pin "$inbox" --name INBOX >/dev/null 2>"$work/inbox.err" &
    inbox_pid=$!
    wait_for_text "$work/inbox.err" "holding the name" 50 || die "pellamy-inbox did not start: $(cat "$work/inbox.err")"
}
# The datagrams the inbox took, whatever became of them, less the messages its output dropped.
inbox_taken() { awk '/^pellamy-inbox: messages: / { print $3 + $5 + $7 - $9 }' "$work/inbox.err"; }
# Whether nothing waits in RX's sockets on port 138.
drained() { on_host RX ss -Huan 'sport = :138' | awk '{ queued += $2 } END { exit queued > 0 }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# --- Datagrams taken per second of the receiver's time on a processor, all its threads' (the
# inbox's output thread too, the machine's other work not), the inbox printing to /dev/null
# against a bare recvfrom loop, each taking what a sender sends back to back (what overflows
# the socket's buffer is not counted). Both share one processor, so that the receiver finds
# datagrams waiting whenever it runs: the figure is what it can take, not how often it woke.
pin="taskset -c 0"
rate_count=100000
rate_rounds=3
running_ns() { cat "/proc/$1"/task/*/schedstat | awk '{ ns += $1 } END { print ns }'; }
# ... once it stops growing: the output thread may still write what the loop took.
settled_ns() { now=$(running_ns "$1"); wait_until 20 unchanged "$1"; echo "$now"; }
unchanged() { sleep 0.05; last=$now now=$(running_ns "$1"); [ "$now" = "$last" ]; }
rate() { # bare|inbox
    local pid before ns taken
    if [ "$1" = inbox ]; then
        start_inbox
        pid=$inbox_pid
    else
        on_host RX $pin "$bench" receive 138 60 >"$work/bare.out" 2>"$work/bare.err" &
        pid=$!
        wait_for_text "$work/bare.err" receiving 50 || die "the bare loop did not start"
    fi
    before=$(running_ns "$pid")
    on_host TX timeout 60 $pin "$bench" blast $rx_ip 138 INBOX $rate_count valid
    wait_until 200 drained
    ns=$(($(settled_ns "$pid") - before))
    stop "$pid"
    if [ "$1" = inbox ]; then taken=$(inbox_taken); else taken=$(awk '{ print $2 }' "$work/bare.out"); fi
    awk -v n="$taken" -v ns="$ns" 'BEGIN { printf "%.0f %d\n", n / (ns / 1e9), n }' >>"$work/rate-$1"
}
for _ in $(seq $rate_rounds); do
    rate bare
    rate inbox
done
{
    echo "rate_rounds $rate_rounds"
    echo "rate_sent $rate_count"
    for way in inbox bare; do
        echo "rate_$way $(cut -d' ' -f1 "$work/rate-$way" | median)"
        echo "rate_${way}_taken $(cut -d' ' -f2 "$work/rate-$way" | median)"
    done
} >"$figures"

# --- Memory: VmRSS and VmHWM after 1,000 datagrams, then after 100,000 more, hostile and
# valid in turn, sent in bursts of 50 a millisecond apart so that the inbox takes them.
memory() { # when
    awk -v when="$1" '$1 ~ /^Vm(RSS|HWM):$/ { print "memory_" tolower(substr($1, 3, 3)) "_" when, $2 }' \
        "/proc/$inbox_pid/status" >>"$figures"
}
start_inbox
on_host TX timeout 60 "$bench" blast $rx_ip 138 INBOX 1000 mixed 50
wait_until 200 drained
memory before
on_host TX timeout 120 "$bench" blast $rx_ip 138 INBOX 100000 mixed 50
wait_until 200 drained
memory after
stop "$inbox_pid"
echo "memory_taken $(inbox_taken)" >>"$figures"

# --- From start to the datagram on the wire, given an address (a node status request to it,
# then the datagram), against the bare sendto of the same bytes: pellamy-send, then
# pellamy-send.exe under Wine on TX. A first run, untimed, gives the bytes; then runs taken in
# turn, each from the moment before exec to the frame's time in a capture on the bridge.
runs=21
echo "send_runs $runs" >>"$figures"
frames() { tshark -r "$1" -Y "udp.length == 598" -T fields -e "$2" 2>/dev/null; } # capture field
launch() { $on TX timeout 20 bash -c 'echo "$EPOCHREALTIME"; exec "$@"' launch "$@" >>"$work/launched"; }
# KEY_ms and KEY_bare_ms, the medians; the bare program, with its loader, in bare.
time_send() { # key sender...
    local key=$1 capture=$work/$1.pcap payload _
    shift
    lan_capture "$capture" "udp dst port 138" || return 1
    $on TX timeout 30 "$@" || return 1
    wait_until 30 eval '[ -n "$(frames "$capture" udp.payload)" ]' || return 1
    payload=$(frames "$capture" udp.payload | tr -d :)
    : >"$work/launched"
    for _ in $(seq $runs); do
        launch "$@"
        launch "${bare[@]}" $rx_ip 138 "$payload"
    done
    sleep 0.5 # the last frame, on its way to the file
    stop "$lan_tshark"
    frames "$capture" frame.time_epoch | tail -n +2 >"$work/arrived"
    [ "$(wc -l <"$work/arrived")" = $((2 * runs)) ] || return 1
    paste "$work/launched" "$work/arrived" | awk '{ print ($2 - $1) * 1000 }' >"$work/ms"
    echo "${key}_ms $(awk 'NR % 2 == 1' "$work/ms" | median | xargs printf %.2f)" >>"$figures"
    echo "${key}_bare_ms $(awk 'NR % 2 == 0' "$work/ms" | median | xargs printf %.2f)" >>"$figures"
}
start_inbox
message=(--from BENCH "$rx_ip" Lunch at noon in the café?)
on=on_host bare=("$tree/tools/bench/sendto")
time_send send "$tree/linux/pellamy-send" "${message[@]}" || echo "wire.sh: pellamy-send not measured" >&2
lan_wine TX "$work/wine" || die "no Wine on TX"
on=on_wine bare=("$wine" "$win/tools/bench/sendto.exe")
time_send send_exe "$wine" "$win/pellamy-send.exe" "${message[@]}" || die "pellamy-send.exe not measured"
stop "$inbox_pid"
