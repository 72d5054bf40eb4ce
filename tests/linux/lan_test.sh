#!/usr/bin/env bash
# pellamy-send and pellamy-inbox on a LAN of their own: network namespaces made and removed
# here, a bridge and four hosts on 10.138.0.0/24. ALPHA (.1), BRAVO (.2) and DELTA (.4) run
# inboxes in the workgroup WORKGROUP, each ended its own way: ALPHA by the end of its reader,
# BRAVO, started with the capability to bind rather than as root, by SIGHUP, DELTA, whose
# output nobody reads, by SIGTERM under a stream of messages. CHARLIE (.3) sends, from a
# second interface on 10.139.0.0/24 too; ALPHA gets one there while it runs. tshark captures
# on the bridge, and the frames the programs sent are checked against the wire format field by
# field. Hostile datagrams and requests are built here by hand from that format, not with our
# own builders, and sent with bash's /dev/udp; so are valid ones, which shows that the inbox
# takes what any conforming sender writes.
#   lan_test.sh PELLAMY-SEND PELLAMY-INBOX
set -uo pipefail

send=$1
inbox=$2
source "$(dirname "$0")/../../tools/lan.sh"
export LC_ALL=C.UTF-8
# The inboxes announce nothing on this machine's system bus.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/pellamy-lan-test

die() {
    echo "lan_test: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || die "this test makes network namespaces, which needs root; it runs as $(id -un)"
for tool in ip nsenter setpriv tshark timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (tools/deps.sh installs it)"
done
nobody_uid=$(id -u nobody) || die "there is no user nobody for the inbox to become"
nobody_gid=$(id -g nobody)

work=$(mktemp -d)
trap 'lan_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

# CHARLIE's second interface is up from the start, ALPHA's comes up while its inbox runs.
lan_start pellamy-lan && lan_host ALPHA 1 && lan_host BRAVO 2 && lan_host CHARLIE 3 && lan_host DELTA 4 && lan_up &&
    lan_link ALPHA eth1 && lan_link CHARLIE eth1 && on_host ALPHA ip addr add 10.139.0.1/24 brd + dev eth1 &&
    on_host CHARLIE ip addr add 10.139.0.3/24 brd + dev eth1 && on_host CHARLIE ip link set eth1 up ||
    die "could not make the network namespaces of the test LAN"
running() { on_host "$1" ip -o link show dev "$2" | grep -q "state UP"; } # host device
wait_until 50 running CHARLIE eth1 || die "CHARLIE's second interface did not come up"

source "$(dirname "$0")/../checks.sh"

# --- The capture --------------------------------------------------------------------------
# All but the stream of datagrams to DELTA.
capture=$work/lan.pcap
lan_capture "$capture" "(udp port 137 or udp port 138) and not (dst host 10.138.0.4 and dst port 138)" || die "no capture"
tshark_pid=$lan_tshark

# --- Hand-built packets, as printf formats ------------------------------------------------
be16() { printf '\\x%02x\\x%02x' $(($1 >> 8)) $(($1 & 255)); }
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8)); }

# A NetBIOS name as it goes on the wire: 0x20, 32 letters A-P, 0x00.
encoded_name() { # name suffix (two hex digits)
    local letters=ABCDEFGHIJKLMNOP padded out='\x20' i byte
    printf -v padded '%-15s' "$1"
    for ((i = 0; i < 15; i++)); do
        printf -v byte '%d' "'${padded:i:1}"
        out+=${letters:byte >> 4:1}${letters:byte & 15:1}
    done
    printf '%s' "$out${letters:16#${2:0:1}:1}${letters:16#${2:1:1}:1}\\x00"
}

# A datagram from MALLORY (10.138.0.3) to NAME<SUFFIX> carrying a record (a printf format, padded
# with zeros to SIZE bytes) to a mailslot (its name, NUL and padding, to end at offset 88), every
# field as Windows writes it but for the flags and data offset given.
hand_built_datagram() { # flags data-offset name suffix mailslot record [size]
    local size=${7:-420} length
    length=$(printf "$6" | wc -c)
    # DIRECT_UNIQUE, the flags, DGM_ID, SOURCE_IP, SOURCE_PORT 138, DGM_LENGTH, PACKET_OFFSET 0;
    # the two names.
    printf '\\x10\\x%s\\x12\\x34\\x0a\\x8a\\x00\\x03\\x00\\x8a%s\\x00\\x00' "$1" "$(be16 $((68 + 88 + size)))"
    printf '%s%s' "$(encoded_name MALLORY 00)" "$(encoded_name "$3" "$4")"
    # SMB header: magic, SMB_COM_TRANSACTION, status, flags, flags2, PIDHigh, security
    # features, reserved, TID, PIDLow, UID, MID.
    printf '%s' '\xffSMB\x25\x00\x00\x00\x00\x18\x04\x00\x00\x00'
    printf '%s' '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xfe\x00\x00\x00\x00'
    # WordCount 17, parameters 0, data, max parameters 2, max data 0, max setup 0, reserved,
    # flags 2, timeout 0, reserved2, parameter count 0, parameter offset 88, data count, data
    # offset, setup count 3, reserved3, write, priority 0, class 2, byte count.
    printf '\\x11\\x00\\x00%s\\x02\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x00\\x00\\x00\\x00\\x00\\x00' "$(le16 "$size")"
    printf '\\x00\\x00\\x58\\x00%s%s' "$(le16 "$size")" "$(le16 "$2")"
    printf '\\x03\\x00\\x01\\x00\\x00\\x00\\x02\\x00%s%s%s' "$(le16 $((19 + size)))" "$5" "$6"
    for ((; length < size; length++)); do printf '\\x00'; done
}
messngr='\\MAILSLOT\\MESSNGR\x00\x00'

# Name-service requests from CHARLIE: a query, and a registration whose additional record
# carries the name in full rather than the pointer.
hand_built_query() { printf '%s%s%s' '\x03\x03\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00' "$(encoded_name "$1" "$2")" '\x00\x20\x00\x01'; } # name suffix
hand_built_registration() { # name
    printf '%s%s%s' '\x04\x04\x29\x10\x00\x01\x00\x00\x00\x00\x00\x01' "$(encoded_name "$1" 00)" '\x00\x20\x00\x01'
    printf '%s%s' "$(encoded_name "$1" 00)" '\x00\x20\x00\x01\x00\x04\x93\xe0\x00\x06\x00\x00\x0a\x8a\x00\x03'
}

# Each in one write: bash's printf writes its output line by line, and 0x0A is a byte like any
# other here.
send_by_hand() { # format address port
    printf "$1" >"$work/packet"
    on_host CHARLIE timeout 5 bash -c 'cat "$1" >"/dev/udp/$2/$3"' _ "$work/packet" "$2" "$3" ||
        echo "lan_test: could not send by hand to $2:$3" >&2
}

# --- The programs -------------------------------------------------------------------------
# An inbox on its host, run by the command given (the inbox, or a wrapper that runs it), its
# process in $started, its standard output to the file given, its standard error in
# $work/NAME.err.
run_inbox() { # name output command...
    on_host "$1" "${@:3}" >"$2" 2>"$work/$1.err" &
    started=$!
}

# The inbox has bound its ports and become nobody: Uid and Gid, real, effective, saved and
# file system, are all nobody's.
runs_as_nobody() { # pid
    awk -v u="$nobody_uid" -v g="$nobody_gid" '
        /^Uid:/ { uid = ($2 == u && $3 == u && $4 == u && $5 == u) }
        /^Gid:/ { gid = ($2 == g && $3 == g && $4 == g && $5 == g) }
        END { exit !(uid && gid) }' "/proc/$1/status" 2>/dev/null
}
# ... and holds no capability, nor can it gain one.
has_no_capabilities() { # pid
    awk '/^Cap(Inh|Prm|Eff|Amb):/ && $2 !~ /^0+$/ { held = 1 } /^NoNewPrivs:/ { locked = $2 == 1 }
        END { exit held || !locked }' "/proc/$1/status" 2>/dev/null
}

# The counts an inbox printed when it stopped add up: messages (any number for "-"), what it
# refused, and at least so many dropped.
counted() { # name messages refused dropped
    awk -v m="$2" -v r="$3" -v d="$4" '
        /^pellamy-inbox: messages: [0-9]+, ignored: [0-9]+, malformed: [0-9]+, dropped: [0-9]+$/ {
            found = 1; ok = ((m == "-" || $3 + 0 == m) && $5 + $7 == r && $9 + 0 >= d)
        }
        END { exit !(found && ok) }' "$work/$1.err"
}

# pellamy-send from CHARLIE; its output in $work/send.out, its status in $sent.
send_from_charlie() { # argument...
    on_host CHARLIE timeout 10 "$send" --from CHARLIE "$@" >"$work/send.out" 2>&1
    sent=$?
}
sent_quietly() {
    [ "$sent" = 0 ] && [ ! -s "$work/send.out" ] && return 0
    echo "  status $sent: $(cat "$work/send.out")"
    return 1
}
lacks() { ! grep -qE -- "$2" "$1"; } # file pattern
occurs() { [ "$(grep -cF -- "$2" "$1")" = "$3" ]; } # file text count

# --- The cases, one after the other -------------------------------------------------------
# ALPHA writes to a reader that leaves near the end, DELTA to one that never reads.
mkfifo "$work/ALPHA.pipe" "$work/DELTA.pipe"
cat "$work/ALPHA.pipe" >"$work/ALPHA.out" &
alpha_reader=$!
exec 7<>"$work/DELTA.pipe"
run_inbox ALPHA "$work/ALPHA.pipe" "$inbox" --name ALPHA
alpha_pid=$started
run_inbox BRAVO "$work/BRAVO.out" setpriv --reuid="$nobody_uid" --regid="$nobody_gid" --clear-groups \
    --inh-caps=+net_bind_service --ambient-caps=+net_bind_service "$inbox" --name BRAVO --json
bravo_pid=$started
run_inbox DELTA "$work/DELTA.pipe" "$inbox" --name DELTA
delta_pid=$started
# Registration takes three broadcasts 250 ms apart; then the inbox says it holds the name.
for name in ALPHA BRAVO DELTA; do
    wait_for_text "$work/$name.err" "holding the name $name on 10.138.0." 30 ||
        die "$name's inbox did not start: $(cat "$work/$name.err")"
done
check "ALPHA's inbox, started as root, runs as nobody" runs_as_nobody "$alpha_pid"
check "... without capabilities" has_no_capabilities "$alpha_pid"
check "BRAVO's inbox, started with CAP_NET_BIND_SERVICE, drops it" has_no_capabilities "$bravo_pid"

on_host CHARLIE "$inbox" -x >"$work/usage.out" 2>&1
status=$?
check "an unknown option exits 1 (status $status), named as given" \
    grep -qx "pellamy-inbox: unknown option -x (see --help)" "$work/usage.out"

# The name is compared without regard to case.
on_host CHARLIE timeout 10 "$inbox" --name alpha >"$work/second.out" 2>&1
status=$?
check "a second inbox for ALPHA exits 2 (status $status)" [ "$status" = 2 ]
check "... saying who holds the name" \
    grep -qx "pellamy-inbox: ALPHA is already used by 10.138.0.1 on this network" "$work/second.out"

# As the unit runs it, with --retry: the name taken on one subnet is tried again later, and
# held on the other meanwhile; ports another program holds are waited for.
run_inbox CHARLIE /dev/null "$inbox" --name alpha --retry
retry_pid=$started
check "with --retry, a name taken on one subnet is tried again later" wait_for_text "$work/CHARLIE.err" \
    "ALPHA is already used by 10.138.0.1 on 10.138.0.3 (eth0); trying again in 10 s" 30
check "... and held on the other meanwhile" \
    wait_for_text "$work/CHARLIE.err" "holding the name ALPHA on 10.139.0.3 (eth1)" 30
on_host CHARLIE "$inbox" --name BUSY --retry 2>"$work/busy.err" &
busy_pid=$!
check "... and ports in use are waited for" wait_for_text "$work/busy.err" \
    "cannot use UDP port 137: it is in use (by another NetBIOS service, such as Samba's nmbd, or another pellamy-inbox); trying again in 10 s" 30
# In a network namespace of its own, with no interface but a loopback that is down, an inbox
# starts all the same and waits.
on_host CHARLIE unshare -n "$inbox" --name LONELY 2>"$work/lonely.err" &
lonely_pid=$!
check "an inbox with no interface says so and waits" \
    wait_for_text "$work/lonely.err" "no IPv4 interface is up to broadcast on; waiting for one" 30
kill -TERM "$busy_pid" "$retry_pid" "$lonely_pid"
statuses=
for pid in "$busy_pid" "$retry_pid" "$lonely_pid"; do
    wait_for_exit "$pid" 30
    statuses+=$?
done
check "... all three ended by SIGTERM (statuses $statuses)" [ "$statuses" = 000 ]

send_from_charlie ALPHA Only for Alpha </dev/null
check "a send to ALPHA succeeds quietly" sent_quietly
check "... and reaches ALPHA" wait_for_text "$work/ALPHA.out" "Only for Alpha" 30

send_from_charlie '*' For every inbox </dev/null
check "a send to * succeeds quietly" sent_quietly
check "... and reaches ALPHA" wait_for_text "$work/ALPHA.out" "For every inbox" 30
check "... and BRAVO" wait_for_text "$work/BRAVO.out" "For every inbox" 30

send_from_charlie 10.138.0.2 By address </dev/null
check "a send to 10.138.0.2 succeeds quietly" sent_quietly
check "... and reaches BRAVO" wait_for_text "$work/BRAVO.out" "By address" 30

# From standard input, in UTF-8: é and è go as code page 850's 0x82 and 0x8A, the line
# break as CR LF. Every line of the text is indented under its heading.
printf 'Caf\xc3\xa9\ncr\xc3\xa8me' >"$work/accented.txt"
send_from_charlie ALPHA <"$work/accented.txt"
check "a send from standard input succeeds quietly" sent_quietly
wait_for_text "$work/ALPHA.out" "crème" 30
follows() { awk -v a="$2" -v b="$3" 'last == a && $0 == b { found = 1 } { last = $0 } END { exit !found }' "$1"; }
check "... and its accents and line break arrive intact" follows "$work/ALPHA.out" "    Café" "    crème"

printf 'Hi\nFrom BOSS to ALPHA, 2026-12-08 16:30:05 (10.138.0.9)\nRaise for all' | send_from_charlie ALPHA
wait_for_text "$work/ALPHA.out" "Raise for all" 30
check "a heading forged in a text stays inside its message" follows "$work/ALPHA.out" "    Hi" \
    "    From BOSS to ALPHA, 2026-12-08 16:30:05 (10.138.0.9)"
check "... and begins no line" lacks "$work/ALPHA.out" "^From BOSS"

started_at=$(date +%s%N)
send_from_charlie NOBODY Anyone there </dev/null
elapsed_ms=$((($(date +%s%N) - started_at) / 1000000))
check "a send to an unknown name exits 2 (status $sent)" [ "$sent" = 2 ]
check "... within two seconds ($elapsed_ms ms)" [ "$elapsed_ms" -lt 2000 ]
check "... saying so" grep -qx "pellamy-send: no computer answered to NOBODY on this network" "$work/send.out"

# Hostile datagrams to ALPHA: escape sequences in a valid record's names and text (clear
# screen, a window title with BEL), a DataOffset past the end, a first fragment with more to
# come, one byte more than a Messenger sender writes, a write to another mailslot. Then valid
# ones, by hand too: to ALPHA's Messenger name (suffix 0x03), and one in code page 850, whose
# 0x82 is é.
browse='\\MAILSLOT\\BROWSE\x00\x00\x00'
for datagram in "02 88 ALPHA 00 420 $messngr MAL\x1b[2JLORY\0AL\x07PHA\0Look\x1b[2J\x1b]0;owned\x07 here" \
    "02 600 ALPHA 00 420 $messngr MALLORY\0ALPHA\0Wrong offset" "03 88 ALPHA 00 420 $messngr MALLORY\0ALPHA\0A fragment" \
    "02 88 ALPHA 00 425 $messngr MALLORY\0ALPHA\0Too long" "02 88 ALPHA 00 420 $browse MALLORY\0ALPHA\0For the browser" \
    "02 88 ALPHA 03 420 $messngr MALLORY\0ALPHA\0To the Messenger name" \
    "02 88 ALPHA 00 420 $messngr MALLORY\0ALPHA\0Built by hand, caf\x82"; do
    read -r flags offset name suffix size slot record <<<"$datagram"
    send_by_hand "$(hand_built_datagram "$flags" "$offset" "$name" "$suffix" "$slot" "$record" "$size")" 10.138.0.1 138
done
check "after hostile datagrams ALPHA's inbox takes a valid one" \
    wait_for_text "$work/ALPHA.out" "Built by hand, café" 30
check "... shows control characters in names and text as '?'" \
    grep -qF 'From MAL?[2JLORY to AL?PHA' "$work/ALPHA.out"
check "... and in the text" grep -qF '    Look?[2J?]0;owned? here' "$work/ALPHA.out"
check "... and no ESC or BEL byte reaches its output" lacks "$work/ALPHA.out" $'[\x1b\x07]'
check "... nor the text of what it refused" lacks "$work/ALPHA.out" "Wrong offset|A fragment|Too long|For the browser"
check "... but takes a datagram to its Messenger name" grep -qF "To the Messenger name" "$work/ALPHA.out"

# A query for ALPHA's Messenger name, answered on the wire (checked below).
send_by_hand "$(hand_built_query ALPHA 03)" 10.138.0.1 137

# ALPHA's second interface comes up: the name is registered there too, and answered for.
on_host ALPHA ip link set eth1 up

# DELTA's output is never read: a stream of messages fills the pipe and the queue. It still
# answers a query (the send to it), defends its name (against a registration carrying it in
# full), and stops at once on SIGTERM, releasing the name.
printf "$(hand_built_datagram 02 88 DELTA 00 "$messngr" 'MALLORY\0DELTA\0One of many')" >"$work/one"
cat $(printf "$work/one %.0s" $(seq 100)) >"$work/hundred"
on_host CHARLIE timeout 20 bash -c 'for ((i = 0; i < 3000; i++)); do dd if="$1" bs=590 status=none; done >/dev/udp/10.138.0.4/138' \
    _ "$work/hundred" &
stream_pid=$!
check "DELTA, its output never read, says once it drops messages" \
    wait_for_text "$work/DELTA.err" "standard output does not keep up; dropping the oldest waiting messages" 100
send_from_charlie DELTA While stuck </dev/null
check "... still answers: a send to it succeeds quietly" sent_quietly
send_by_hand "$(hand_built_registration DELTA)" 10.138.0.4 137
sleep 0.2 # the defence, on its way
kill -TERM "$delta_pid"
started_at=$(date +%s%N)
wait_for_exit "$delta_pid" 30
status=$?
elapsed_ms=$((($(date +%s%N) - started_at) / 1000000))
check "... and exits 0 on SIGTERM (status $status)" [ "$status" = 0 ]
check "... within a second ($elapsed_ms ms)" [ "$elapsed_ms" -lt 1000 ]
check "... while the stream still ran" kill "$stream_pid"
wait "$stream_pid" 2>/dev/null
exec 7<&-
check "... having said so once" occurs "$work/DELTA.err" "does not keep up" 1
check "... and counted what it dropped" counted DELTA - 0 1

check "ALPHA holds its name on its second interface once it comes up" \
    wait_for_text "$work/ALPHA.err" "holding the name ALPHA on 10.139.0.1 (eth1)" 30
send_from_charlie ALPHA Over two subnets </dev/null
check "... where a send finds it" sent_quietly
# The address goes, and comes back: registered anew.
on_host ALPHA ip addr del 10.139.0.1/24 dev eth1
check "... and no longer uses the address once it is gone" wait_for_text "$work/ALPHA.err" "10.139.0.1 (eth1) is gone" 30
on_host ALPHA ip addr add 10.139.0.1/24 brd + dev eth1
wait_until 30 eval '[ "$(grep -c "holding the name ALPHA on 10.139.0.1" "$work/ALPHA.err")" = 2 ]'
check "... but registers it again when it comes back" occurs "$work/ALPHA.err" "holding the name ALPHA on 10.139.0.1 (eth1)" 2

check "ALPHA got nothing sent to BRAVO alone" lacks "$work/ALPHA.out" "By address"
check "BRAVO got nothing sent to ALPHA alone" lacks "$work/BRAVO.out" "Only for Alpha|Caf|hand"

# ALPHA's reader leaves: the next message cannot be written, and ALPHA ends, releasing its name.
wait_for_text "$work/ALPHA.out" "Over two subnets" 30
kill "$alpha_reader"
wait "$alpha_reader" 2>/dev/null
send_by_hand "$(hand_built_datagram 02 88 ALPHA 00 "$messngr" 'MALLORY\0ALPHA\0After the reader left')" 10.138.0.1 138
wait_for_exit "$alpha_pid" 30
status=$?
check "ALPHA's inbox, its reader gone, exits 4 (status $status)" [ "$status" = 4 ]
check "... saying why" grep -qx "pellamy-inbox: cannot write to standard output: Broken pipe" "$work/ALPHA.err"
kill -HUP "$bravo_pid"
wait_for_exit "$bravo_pid" 30
status=$?
check "BRAVO's inbox exits 0 on SIGHUP (status $status)" [ "$status" = 0 ]
check "ALPHA counted 9 messages and 4 datagrams refused" counted ALPHA 9 4 0
check "BRAVO counted 2 messages" counted BRAVO 2 0 0

# --- What went on the wire ----------------------------------------------------------------
sleep 0.5 # the last frames, still on their way to the capture file
kill -TERM "$tshark_pid"
wait_for_exit "$tshark_pid" 50 || echo "lan_test: tshark did not stop cleanly" >&2

fields=(frame.number frame.time_relative ip.src ip.dst udp.srcport udp.dstport udp.length _ws.malformed
    nbns.flags nbns.flags.response nbns.flags.opcode nbns.flags.rcode
    nbns.count.queries nbns.count.answers nbns.count.auth_rr nbns.count.add_rr
    nbns.name nbns.type nbns.class nbns.ttl nbns.nb_flags nbns.addr nbns.netbios_name nbns.name_flags.group
    nbdgm.type nbdgm.first nbdgm.next nbdgm.src.ip nbdgm.src.port nbdgm.dgram_len nbdgm.pkt_offset
    nbdgm.source_name nbdgm.destination_name
    smb.cmd smb.flags smb.flags2 smb.pid smb.wct smb.tpc smb.tdc smb.mpc smb.mdc smb.msc smb.timeout
    smb.pc smb.po smb.dc smb.data_offset smb.sc smb.bcc smb.trans_name
    mailslot.opcode mailslot.priority mailslot.class mailslot.name data.len data.data)
frames=$work/frames.tsv
tshark -r "$capture" -T fields -E header=y -E separator=/t "${fields[@]/#/-e}" >"$frames" 2>"$work/tshark-read.err" ||
    die "tshark could not read the capture: $(cat "$work/tshark-read.err")"

# The frames that have every field=value before "--": COUNT of them (N, or N+ for at least
# N), each with every field=value after it. Says which field of which frame differs.
frames_match() { # count select... -- expect...
    local count=$1 select=() expect=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do select+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    expect=("$@")
    SELECT=$(printf '%s\n' "${select[@]}") EXPECT=$(printf '%s\n' "${expect[@]}") COUNT=$count \
    awk -F'\t' '
        function parse(list, fields, values,   lines, n, i, at) {
            n = split(list, lines, "\n")
            for (i = 1; i <= n; i++) {
                at = index(lines[i], "=")
                fields[i] = substr(lines[i], 1, at - 1)
                values[i] = substr(lines[i], at + 1)
                if (!(fields[i] in column)) { print "no field " fields[i]; failed = 1 }
            }
            return n
        }
        NR == 1 {
            for (i = 1; i <= NF; i++) column[$i] = i
            selects = parse(ENVIRON["SELECT"], sf, sv)
            expects = ENVIRON["EXPECT"] == "" ? 0 : parse(ENVIRON["EXPECT"], ef, ev)
            next
        }
        {
            for (i = 1; i <= selects; i++) if ($column[sf[i]] != sv[i]) next
            found++
            for (i = 1; i <= expects; i++) if ($column[ef[i]] != ev[i]) {
                failed = 1
                if (length(ev[i]) <= 80) {
                    printf "  frame %s: %s is \"%s\", not \"%s\"\n", $1, ef[i], $column[ef[i]], ev[i]
                    continue
                }
                for (at = 1; at < length(ev[i]) && substr($column[ef[i]], at, 1) == substr(ev[i], at, 1); at++) {}
                printf "  frame %s: %s differs from hex digit %d on: \"%s...\", not \"%s...\"\n", $1, ef[i], at,
                    substr($column[ef[i]], at, 40), substr(ev[i], at, 40)
            }
        }
        END {
            want = ENVIRON["COUNT"]
            if (want ~ /\+$/ ? found < want + 0 : found != want + 0) {
                printf "  %d such frames, not %s\n", found, want
                failed = 1
            }
            exit failed
        }' "$frames"
}

# The frames that have every field=value are at least 0.2 s apart: retries 250 ms apart.
frames_spaced() { # select...
    SELECT=$(printf '%s\n' "$@") awk -F'\t' '
        NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; n = split(ENVIRON["SELECT"], lines, "\n"); next }
        {
            for (i = 1; i <= n; i++) {
                at = index(lines[i], "=")
                if ($column[substr(lines[i], 1, at - 1)] != substr(lines[i], at + 1)) next
            }
            if (seen && $column["frame.time_relative"] - last < 0.2) {
                printf "  frame %s: %.3f s after the one before\n", $1, $column["frame.time_relative"] - last
                failed = 1
            }
            last = $column["frame.time_relative"]; seen = 1
        }
        END { exit failed }' "$frames"
}

# The 420-byte record as hexadecimal: the three fields, each ending in NUL, then zeros.
record_hex() { # sender recipient text (a printf format)
    local hex
    hex=$({ printf '%s\0%s\0' "$1" "$2"; printf "$3"; printf '\0'; } | od -An -tx1 -v | tr -d ' \n')
    while [ ${#hex} -lt 840 ]; do hex+=00; done
    echo "$hex"
}


bcast=10.138.0.255
# tshark names a question's name as it is, a record's with what its suffix means.
unique="(Workstation/Redirector)"
messenger="(Messenger service/Main name)"
# The name service: registration, its defence, queries and their answers, node status, release;
# of each name, on each address that held it, ALPHA's second twice.
for host in 1:ALPHA:3 2:BRAVO:3 4:DELTA:3 139.1:ALPHA:6; do
    IFS=: read -r number name tries <<<"$host"
    address=10.138.0.$number brd=$bcast
    [ "$number" = 139.1 ] && address=10.139.0.1 brd=10.139.0.255
    for suffix in "00:$unique" "03:$messenger"; do
        shown="$name<${suffix%%:*}>"
        check "$shown registered from $address: $tries broadcasts" frames_match "$tries" ip.src="$address" \
            nbns.flags.opcode=5 nbns.flags.response=0 nbns.name="$shown,$shown ${suffix#*:}" -- \
            ip.dst=$brd udp.srcport=137 udp.dstport=137 udp.length=76 _ws.malformed= nbns.flags=0x2910 \
            nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=1 \
            nbns.type=32,32 nbns.class=1,1 nbns.nb_flags=0x0000 nbns.addr="$address"
        check "... 250 ms apart" frames_spaced ip.src="$address" nbns.flags.opcode=5 nbns.flags.response=0 \
            nbns.name="$shown,$shown ${suffix#*:}"
        check "... and released when it stopped" frames_match 1 ip.src="$address" nbns.flags.opcode=6 \
            nbns.name="$shown,$shown ${suffix#*:}" -- \
            ip.dst=$brd udp.srcport=137 udp.dstport=137 udp.length=76 _ws.malformed= nbns.flags=0x3010 \
            nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=1 \
            nbns.type=32,32 nbns.class=1,1 nbns.ttl=0 nbns.nb_flags=0x0000 nbns.addr="$address"
    done
done
check "the second ALPHA's registration" frames_match 1+ ip.src=10.138.0.3 nbns.flags.opcode=5 \
    nbns.name="ALPHA<00>,ALPHA<00> $unique" -- ip.dst=$bcast nbns.flags=0x2910 nbns.addr=10.138.0.3
check "... refused by ALPHA" frames_match 1+ ip.src=10.138.0.1 nbns.flags.opcode=5 nbns.flags.response=1 \
    nbns.name="ALPHA<00> $unique" -- \
    ip.dst=10.138.0.3 udp.srcport=137 _ws.malformed= nbns.flags=0xad86 nbns.flags.rcode=6 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.count.auth_rr=0 nbns.count.add_rr=0 \
    nbns.type=32 nbns.class=1 nbns.ttl=0 nbns.nb_flags=0x0000 nbns.addr=10.138.0.1
check "a registration of DELTA naming it in full" frames_match 1 ip.dst=10.138.0.4 nbns.flags.opcode=5 -- \
    ip.src=10.138.0.3 _ws.malformed= nbns.flags=0x2910 nbns.name="DELTA<00>,DELTA<00> $unique" nbns.addr=10.138.0.3
check "... refused by DELTA, its output stuck" frames_match 1 ip.src=10.138.0.4 nbns.flags.opcode=5 nbns.flags.response=1 -- \
    ip.dst=10.138.0.3 _ws.malformed= nbns.flags=0xad86 nbns.name="DELTA<00> $unique" nbns.addr=10.138.0.4
check "queries for ALPHA" frames_match 3+ nbns.name="ALPHA<00>" nbns.flags.opcode=0 nbns.flags.response=0 \
    ip.dst=$bcast -- \
    ip.src=10.138.0.3 udp.dstport=137 udp.length=58 _ws.malformed= nbns.flags=0x0110 \
    nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.type=32 nbns.class=1
check "... answered by ALPHA" frames_match 3+ nbns.name="ALPHA<00> $unique" nbns.flags.opcode=0 nbns.flags.response=1 \
    ip.src=10.138.0.1 ip.dst=10.138.0.3 -- \
    udp.srcport=137 udp.length=70 _ws.malformed= nbns.flags=0x8500 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.type=32 \
    nbns.class=1 nbns.nb_flags=0x0000 nbns.addr=10.138.0.1
check "... and on the second subnet, from ALPHA's address there" frames_match 1+ nbns.name="ALPHA<00> $unique" \
    nbns.flags.response=1 ip.src=10.139.0.1 ip.dst=10.139.0.3 -- nbns.flags=0x8500 nbns.addr=10.139.0.1
check "a query for ALPHA's Messenger name" frames_match 1 nbns.name="ALPHA<03>" nbns.flags.response=0 -- \
    ip.src=10.138.0.3 ip.dst=10.138.0.1 _ws.malformed= nbns.flags=0x0100
check "... answered" frames_match 1 nbns.name="ALPHA<03> $messenger" nbns.flags.opcode=0 nbns.flags.response=1 -- \
    ip.src=10.138.0.1 ip.dst=10.138.0.3 udp.srcport=137 _ws.malformed= nbns.flags=0x8500 nbns.nb_flags=0x0000 \
    nbns.addr=10.138.0.1
for subnet in 138 139; do
    check "three queries for NOBODY on 10.$subnet.0.0/24, unanswered" frames_match 3 nbns.name="NOBODY<00>" \
        ip.dst=10.$subnet.0.255 -- ip.src=10.$subnet.0.3 nbns.flags=0x0110 nbns.type=32
    check "... 250 ms apart" frames_spaced nbns.name="NOBODY<00>" ip.dst=10.$subnet.0.255
done
check "a node status request to 10.138.0.2" frames_match 1+ nbns.type=33 nbns.flags.response=0 -- \
    ip.src=10.138.0.3 ip.dst=10.138.0.2 udp.dstport=137 udp.length=58 _ws.malformed= nbns.flags=0x0000 \
    nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.class=1
check "... answered with BRAVO's two names and its workgroup" frames_match 1+ nbns.type=33 nbns.flags.response=1 -- \
    ip.src=10.138.0.2 ip.dst=10.138.0.3 udp.srcport=137 _ws.malformed= nbns.flags=0x8400 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.class=1 nbns.ttl=0 \
    nbns.netbios_name=BRAVO,BRAVO,WORKGROUP nbns.name_flags.group=0,0,1

# The datagrams pellamy-send wrote: every field as the Messenger datagram has it, the record
# byte for byte. DGM_LENGTH is the bytes after the 14-byte header: 590 - 14.
check "every datagram CHARLIE sent" frames_match 7 nbdgm.source_name="CHARLIE<00>" -- \
    udp.srcport=138 udp.dstport=138 udp.length=598 _ws.malformed= \
    nbdgm.first=1 nbdgm.next=0 nbdgm.src.port=138 nbdgm.dgram_len=576 nbdgm.pkt_offset=0 \
    smb.cmd=0x25 smb.flags=0x18 smb.flags2=0x0004 smb.pid=65279 smb.wct=17 smb.tpc=0 smb.tdc=420 smb.mpc=2 \
    smb.mdc=0 smb.msc=0 smb.timeout=0 smb.pc=0 smb.po=88 smb.dc=420 smb.data_offset=88 smb.sc=3 smb.bcc=439 \
    smb.trans_name='\MAILSLOT\MESSNGR' mailslot.opcode=1 mailslot.priority=0 mailslot.class=2 \
    mailslot.name='\MAILSLOT\MESSNGR' data.len=420
check "the datagram to ALPHA" frames_match 1 data.data="$(record_hex CHARLIE ALPHA 'Only for Alpha')" -- \
    ip.src=10.138.0.3 nbdgm.src.ip=10.138.0.3 ip.dst=10.138.0.1 nbdgm.type=16 nbdgm.destination_name="ALPHA<00>"
for subnet in 138 139; do
    check "the datagram to * on 10.$subnet.0.0/24" frames_match 1 data.data="$(record_hex CHARLIE '*' 'For every inbox')" \
        ip.dst=10.$subnet.0.255 -- ip.src=10.$subnet.0.3 nbdgm.src.ip=10.$subnet.0.3 nbdgm.type=17 \
        nbdgm.destination_name="WORKGROUP<00>"
done
# The record is the one Pellamy.exe writes to \\10.138.0.2\mailslot\messngr: the recipient is
# the address as given; the datagram goes to the name the node status answer gave.
check "the datagram to 10.138.0.2" frames_match 1 ip.dst=10.138.0.2 nbdgm.source_name="CHARLIE<00>" -- \
    nbdgm.type=16 nbdgm.destination_name="BRAVO<00>" data.data="$(record_hex CHARLIE 10.138.0.2 'By address')"
check "the datagram from standard input" frames_match 1 data.data="$(record_hex CHARLIE ALPHA 'Caf\x82\r\ncr\x8ame')" -- \
    ip.dst=10.138.0.1 nbdgm.type=16 nbdgm.destination_name="ALPHA<00>"
check "the hand-built datagrams went out" frames_match 8 nbdgm.source_name="MALLORY<00>" -- ip.dst=10.138.0.1

checked lan_test "$work"/{ALPHA.out,ALPHA.err,BRAVO.out,BRAVO.err,DELTA.err,second.out}
