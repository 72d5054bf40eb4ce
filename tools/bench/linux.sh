#!/usr/bin/env bash
# tools/bench.sh's figures of pellamy-inbox and pellamy-send, measured on two network
# namespaces made and removed here, joined by a veth pair: rx (10.138.1.1) runs the inbox as
# INBOX, tx (10.138.1.2) sends. Writes "key value" lines to FIGURES. Needs root.
#   linux.sh BUILD-TREE FIGURES
set -uo pipefail

tree=$1
figures=$2
inbox=$tree/linux/pellamy-inbox
send=$tree/linux/pellamy-send
bench=$tree/tools/bench/linux_bench
rx=pellamy-bench-$$-rx
tx=pellamy-bench-$$-tx
rx_ip=10.138.1.1
export LC_ALL=C.UTF-8

work=$(mktemp -d)
pids=()
finish() {
    local pid ns
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    for ns in "$rx" "$tx"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
        ip netns del "$ns" 2>/dev/null
    done
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

die() {
    echo "linux.sh: $*" >&2
    exit 1
}

ip netns add "$rx" && ip netns add "$tx" &&
    ip -n "$rx" link add eth0 type veth peer name eth0 netns "$tx" &&
    ip -n "$rx" addr add $rx_ip/24 brd + dev eth0 && ip -n "$tx" addr add 10.138.1.2/24 brd + dev eth0 &&
    ip -n "$rx" link set eth0 up && ip -n "$tx" link set eth0 up &&
    ip -n "$rx" link set lo up && ip -n "$tx" link set lo up ||
    die "could not make the network namespaces (root is needed)"
for _ in $(seq 50); do
    ip -n "$rx" -o link show dev eth0 | grep -q "state UP" && ip -n "$tx" -o link show dev eth0 | grep -q "state UP" && break
    sleep 0.1
done

wait_for_text() { # file text tenths
    local _
    for _ in $(seq "$3"); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
# Stops a process and waits up to 3 s for it.
stop() { # pid
    local _
    kill -TERM "$1" 2>/dev/null
    for _ in $(seq 30); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    wait "$1" 2>/dev/null
}
start_inbox() {
    ip netns exec "$rx" $pin "$inbox" --name INBOX >/dev/null 2>"$work/inbox.err" &
    inbox_pid=$!
    pids+=("$inbox_pid")
    wait_for_text "$work/inbox.err" "holding the name" 50 || die "pellamy-inbox did not start: $(cat "$work/inbox.err")"
}
# The inbox's count of datagrams taken, whatever became of them.
inbox_taken() { awk '/^pellamy-inbox: messages: / { print $3 + $5 + $7 }' "$work/inbox.err"; }
value() { awk -v key="$1" '$1 == key { print $2 }' "$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# --- Datagrams taken per second of the receiver's own time on a processor (user and system,
# from /proc/PID/schedstat, so that the other work on the machine does not count): the inbox,
# printing to /dev/null, against a bare recvfrom loop on the same port, each taking what a
# sender sends back to back (what overflows its socket's buffer is dropped, and not counted).
# Receiver and sender share one processor, so that the receiver finds datagrams waiting
# whenever it runs: the figure is what it can take, not how often it woke for one.
pin="taskset -c 0"
rate_count=100000
rate_rounds=3
running_ns() { cut -d' ' -f1 "/proc/$1/schedstat"; }
rate() { # bare|inbox
    local pid before ns taken
    if [ "$1" = inbox ]; then
        start_inbox
        pid=$inbox_pid
    else
        ip netns exec "$rx" $pin "$bench" receive 138 60 >"$work/bare.out" 2>"$work/bare.err" &
        pid=$!
        pids+=("$pid")
        wait_for_text "$work/bare.err" receiving 50 || die "the bare loop did not start"
    fi
    before=$(running_ns "$pid")
    ip netns exec "$tx" timeout 60 $pin "$bench" blast $rx_ip 138 INBOX $rate_count valid >/dev/null
    ip netns exec "$rx" timeout 30 "$bench" drained 138 20
    ns=$(($(running_ns "$pid") - before))
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
ip netns exec "$tx" timeout 60 "$bench" blast $rx_ip 138 INBOX 1000 mixed 50 >/dev/null
ip netns exec "$rx" timeout 30 "$bench" drained 138 20 >/dev/null
echo "memory_rss_before $(memory VmRSS)" >>"$figures"
echo "memory_hwm_before $(memory VmHWM)" >>"$figures"
ip netns exec "$tx" timeout 120 "$bench" blast $rx_ip 138 INBOX 100000 mixed 50 >/dev/null
ip netns exec "$rx" timeout 30 "$bench" drained 138 20 >/dev/null
echo "memory_rss_after $(memory VmRSS)" >>"$figures"
echo "memory_hwm_after $(memory VmHWM)" >>"$figures"
stop "$inbox_pid"
echo "memory_taken $(inbox_taken)" >>"$figures"

# --- pellamy-send from start to its datagram on the wire, given an address (a node status
# request to it, then the datagram), against a bare sendto of the same bytes; runs taken in
# turn, each from the moment before exec to the frame's time in a capture on rx.
start_inbox
capture=$work/send.pcap
ip netns exec "$rx" tshark -q -i eth0 -f "udp dst port 138" -w "$capture" 2>"$work/tshark.err" &
tshark_pid=$!
pids+=("$tshark_pid")
wait_for_text "$work/tshark.err" "Capturing on" 100 || die "tshark did not start"
# Until tshark really captures: probes until one is in the file.
for _ in $(seq 30); do
    ip netns exec "$tx" bash -c "echo probe >/dev/udp/$rx_ip/138"
    sleep 0.1
    [ "$(stat -c %s "$capture" 2>/dev/null || echo 0)" -gt 300 ] && break
done
sender=("$send" --from BENCH "$rx_ip" Lunch at noon in the café?)
ip netns exec "$tx" timeout 10 "${sender[@]}" || die "pellamy-send failed"
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
    ip netns exec "$tx" timeout 10 "$bench" launch "${sender[@]}" >>"$work/launched"
    ip netns exec "$tx" timeout 10 "$bench" launch "$bench" sendto $rx_ip 138 "$payload" >>"$work/launched"
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
