#!/usr/bin/env bash
# tools/bench.sh's figures of pellamy-inbox and pellamy-send, measured on a LAN of network
# namespaces made and removed here (tools/lan.sh): RX (10.138.0.1) runs the inbox as INBOX, TX
# (10.138.0.2) sends. Writes "key value" lines to FIGURES. Needs root.
#   linux.sh BUILD-TREE FIGURES
set -uo pipefail

tree=$1
figures=$2
inbox=$tree/linux/pellamy-inbox
send=$tree/linux/pellamy-send
bench=$tree/tools/bench/linux_bench
rx_ip=10.138.0.1
source "$(dirname "$0")/../lan.sh"
export LC_ALL=C.UTF-8

die() {
    echo "linux.sh: $*" >&2
    exit 1
}

work=$(mktemp -d)
trap 'lan_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
lan_start pellamy-bench && lan_host RX 1 && lan_host TX 2 && lan_up || die "could not make the network namespaces"

# Stops a process and waits up to 3 s for it.
stop() { # pid
    kill -TERM "$1" 2>/dev/null
    wait_for_exit "$1" 30
}
start_inbox() {
    on_host RX $pin "$inbox" --name INBOX >/dev/null 2>"$work/inbox.err" &
    inbox_pid=$!
    wait_for_text "$work/inbox.err" "holding the name" 50 || die "pellamy-inbox did not start: $(cat "$work/inbox.err")"
}
# The inbox's count of datagrams taken, whatever became of them, less the messages its output
# dropped.
inbox_taken() { awk '/^pellamy-inbox: messages: / { print $3 + $5 + $7 - $9 }' "$work/inbox.err"; }
value() { awk -v key="$1" '$1 == key { print $2 }' "$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# --- Datagrams taken per second of the receiver's own time on a processor (user and system,
# of all its threads, from /proc/PID/task/*/schedstat, so that the other work on the machine
# does not count, and the inbox's output thread does): the inbox,
# printing to /dev/null, against a bare recvfrom loop on the same port, each taking what a
# sender sends back to back (what overflows its socket's buffer is dropped, and not counted).
# Receiver and sender share one processor, so that the receiver finds datagrams waiting
# whenever it runs: the figure is what it can take, not how often it woke for one.
pin="taskset -c 0"
rate_count=100000
rate_rounds=3
running_ns() { cat "/proc/$1"/task/*/schedstat | awk '{ ns += $1 } END { print ns }'; }
# ... once it stops growing: the output thread may still write what the loop took.
settled_ns() {
    local now last _
    now=$(running_ns "$1")
    for _ in $(seq 50); do
        sleep 0.05
        last=$now
        now=$(running_ns "$1")
        [ "$now" = "$last" ] && break
    done
    echo "$now"
}
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
    on_host TX timeout 60 $pin "$bench" blast $rx_ip 138 INBOX $rate_count valid >/dev/null
    on_host RX timeout 30 "$bench" drained 138 20
    ns=$(($(settled_ns "$pid") - before))
    stop "$pid"
    if [ "$1" = inbox ]; then taken=$(inbox_taken); else taken=$(value received "$work/bare.out"); fi
    awk -v n="$taken" -v ns="$ns" 'BEGIN { printf "%.0f %d\n", n / (ns / 1e9), n }' >>"$work/rate-$1"
}
for _ in $(seq $rate_rounds); do
    rate bare
    rate inbox
done
{
    echo "rate_rounds $rate_rounds"
    echo "rate_sent $rate_count"
    echo "rate_inbox $(cut -d' ' -f1 "$work/rate-inbox" | median)"
    echo "rate_bare $(cut -d' ' -f1 "$work/rate-bare" | median)"
    echo "rate_inbox_taken $(cut -d' ' -f2 "$work/rate-inbox" | median)"
    echo "rate_bare_taken $(cut -d' ' -f2 "$work/rate-bare" | median)"
} >"$figures"

# --- Memory: VmRSS and VmHWM after 1,000 datagrams, then after 100,000 more, hostile and
# valid in turn, sent in bursts of 50 a millisecond apart so that the inbox takes them.
memory() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$inbox_pid/status"; }
start_inbox
on_host TX timeout 60 "$bench" blast $rx_ip 138 INBOX 1000 mixed 50 >/dev/null
on_host RX timeout 30 "$bench" drained 138 20 >/dev/null
echo "memory_rss_before $(memory VmRSS)" >>"$figures"
echo "memory_hwm_before $(memory VmHWM)" >>"$figures"
on_host TX timeout 120 "$bench" blast $rx_ip 138 INBOX 100000 mixed 50 >/dev/null
on_host RX timeout 30 "$bench" drained 138 20 >/dev/null
echo "memory_rss_after $(memory VmRSS)" >>"$figures"
echo "memory_hwm_after $(memory VmHWM)" >>"$figures"
stop "$inbox_pid"
echo "memory_taken $(inbox_taken)" >>"$figures"

# --- pellamy-send from start to its datagram on the wire, given an address (a node status
# request to it, then the datagram), against a bare sendto of the same bytes; runs taken in
# turn, each from the moment before exec to the frame's time in a capture on the bridge.
start_inbox
capture=$work/send.pcap
lan_capture "$capture" "udp dst port 138" || die "no capture"
tshark_pid=$lan_tshark
sender=("$send" --from BENCH "$rx_ip" Lunch at noon in the café?)
on_host TX timeout 10 "${sender[@]}" || die "pellamy-send failed"
payload=
for _ in $(seq 30); do
    payload=$(tshark -r "$capture" -Y "udp.length == 598" -T fields -e udp.payload 2>/dev/null | head -n 1 | tr -d :)
    [ -n "$payload" ] && break
    sleep 0.1
done
[ ${#payload} = 1180 ] || die "pellamy-send's datagram is not in the capture"
runs=21
: >"$work/launched"
for _ in $(seq $runs); do
    on_host TX timeout 10 "$bench" launch "${sender[@]}" >>"$work/launched"
    on_host TX timeout 10 "$bench" launch "$bench" sendto $rx_ip 138 "$payload" >>"$work/launched"
done
sleep 0.5 # the last frame, on its way to the file
stop "$tshark_pid"
stop "$inbox_pid"
tshark -r "$capture" -Y "udp.length == 598" -T fields -e frame.time_epoch 2>/dev/null | tail -n +2 >"$work/arrived"
if [ "$(wc -l <"$work/arrived")" = $((2 * runs)) ]; then
    paste <(awk '{ print $2 }' "$work/launched") "$work/arrived" | awk '{ print ($2 - $1) * 1000 }' >"$work/ms"
    echo "send_runs $runs" >>"$figures"
    echo "send_ms $(awk 'NR % 2 == 1' "$work/ms" | median | xargs printf %.2f)" >>"$figures"
    echo "send_bare_ms $(awk 'NR % 2 == 0' "$work/ms" | median | xargs printf %.2f)" >>"$figures"
fi
