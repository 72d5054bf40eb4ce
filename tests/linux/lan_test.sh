#!/usr/bin/env bash
# pellamy-send and pellamy-inbox on a LAN of their own: network namespaces made and removed
# here, a bridge and three hosts on 10.138.0.0/24. ALPHA (.1) and BRAVO (.2) run inboxes in
# the workgroup WORKGROUP, CHARLIE (.3) sends. tshark captures on the bridge, and the frames
# the programs sent are checked against the wire format field by field. Hostile datagrams are
# built here by hand from that format, not with our own builders, and sent with bash's
# /dev/udp; so is one valid datagram, which shows that the inbox takes what any conforming
# sender writes.
#   lan_test.sh PELLAMY-SEND PELLAMY-INBOX
set -uo pipefail

send=$1
inbox=$2
source "$(dirname "$0")/../../tools/lan.sh"
export LC_ALL=C.UTF-8

die() {
    echo "lan_test: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || die "this test makes network namespaces, which needs root; it runs as $(id -un)"
for tool in ip nsenter tshark timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (tools/deps.sh installs it)"
done
nobody_uid=$(id -u nobody) || die "there is no user nobody for the inbox to become"
nobody_gid=$(id -g nobody)

work=$(mktemp -d)
trap 'lan_stop; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP

lan_start pellamy-lan && lan_host ALPHA 1 && lan_host BRAVO 2 && lan_host CHARLIE 3 && lan_up ||
    die "could not make the network namespaces of the test LAN"

failures=0
check() { # what command...
    local what=$1
    shift
    if "$@"; then
        echo "ok      $what"
    else
        echo "FAILED  $what"
        failures=$((failures + 1))
    fi
}

# --- The capture --------------------------------------------------------------------------
capture=$work/lan.pcap
lan_capture "$capture" "udp port 137 or udp port 138" || die "no capture"
tshark_pid=$lan_tshark

# --- Hand-built datagrams -----------------------------------------------------------------
# A NetBIOS name with suffix 0x00 as it goes on the wire: 0x20, 32 letters A-P, 0x00.
encoded_name() { # name
    local letters=ABCDEFGHIJKLMNOP padded out='\x20' i byte
    printf -v padded '%-15s' "${1^^}"
    for ((i = 0; i < 15; i++)); do
        printf -v byte '%d' "'${padded:i:1}"
        out+=${letters:byte >> 4:1}${letters:byte & 15:1}
    done
    printf '%s' "${out}AA\\x00"
}

# A datagram from MALLORY (10.138.0.3) to ALPHA carrying a 420-byte Messenger record, every
# field as Windows writes it but for the ones given. The text is a printf format.
hand_built_datagram() { # file flags data-offset text
    local record=$1.record size
    { printf 'MALLORY\0ALPHA\0'; printf "$4"; printf '\0'; } >"$record"
    size=$(stat -c %s "$record")
    head -c $((420 - size)) /dev/zero >>"$record"
    {
        # DIRECT_UNIQUE, the flags, DGM_ID, SOURCE_IP, SOURCE_PORT 138, DGM_LENGTH 576,
        # PACKET_OFFSET 0; the two names.
        printf "\\x10\\x$2\\x12\\x34\\x0a\\x8a\\x00\\x03\\x00\\x8a\\x02\\x40\\x00\\x00"
        printf "$(encoded_name MALLORY)$(encoded_name ALPHA)"
        # SMB header: magic, SMB_COM_TRANSACTION, status, flags, flags2, PIDHigh, security
        # features, reserved, TID, PIDLow, UID, MID.
        printf '\xffSMB\x25\x00\x00\x00\x00\x18\x04\x00\x00\x00'
        printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xfe\x00\x00\x00\x00'
        # WordCount 17, parameter 0, data 420, max parameter 2, max data 0, max setup 0,
        # reserved, flags 2, timeout 0, reserved2, parameter count 0, parameter offset 88,
        # data count 420, data offset, setup count 3, reserved3, write, priority 0, class 2,
        # byte count 439.
        printf '\x11\x00\x00\xa4\x01\x02\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00'
        printf "\\x00\\x00\\x58\\x00\\xa4\\x01\\x$(printf %02x $(($3 & 255)))\\x$(printf %02x $(($3 >> 8)))"
        printf '\x03\x00\x01\x00\x00\x00\x02\x00\xb7\x01'
        # The mailslot's name, its NUL and one byte of padding to offset 88.
        printf '\\MAILSLOT\\MESSNGR\x00\x00'
        cat "$record"
    } >"$1"
}

send_by_hand() { # file address
    on_host CHARLIE timeout 5 bash -c 'cat "$1" >"/dev/udp/$2/138"' _ "$1" "$2"
}

# --- The programs -------------------------------------------------------------------------
# An inbox started as root on its host, its process in $started; its output in
# $work/NAME.out and .err.
start_inbox() { # name option...
    on_host "$1" "$inbox" --name "$1" "${@:2}" >"$work/$1.out" 2>"$work/$1.err" &
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

# The counts an inbox printed when it stopped add up: messages, and what it refused.
counted() { # name messages refused
    awk -v m="$2" -v r="$3" '
        /^pellamy-inbox: messages: [0-9]+, ignored: [0-9]+, malformed: [0-9]+$/ {
            found = 1; ok = ($3 + 0 == m && $5 + $7 == r)
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

# --- The cases, one after the other -------------------------------------------------------
start_inbox ALPHA
alpha_pid=$started
start_inbox BRAVO --json
bravo_pid=$started
# Registration takes three broadcasts 250 ms apart; then the inbox says it holds the name.
for name in ALPHA BRAVO; do
    wait_for_text "$work/$name.err" "holding the name $name" 30 || die "$name's inbox did not start: $(cat "$work/$name.err")"
done
check "ALPHA's inbox runs as nobody" runs_as_nobody "$alpha_pid"
check "BRAVO's inbox runs as nobody" runs_as_nobody "$bravo_pid"

# The name is compared without regard to case.
on_host CHARLIE timeout 10 "$inbox" --name alpha >"$work/second.out" 2>&1
status=$?
check "a second inbox for ALPHA exits 2 (status $status)" [ "$status" = 2 ]
check "... saying who holds the name" \
    grep -qx "pellamy-inbox: ALPHA is already used by 10.138.0.1 on this network" "$work/second.out"

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
# break as CR LF.
printf 'Caf\xc3\xa9\ncr\xc3\xa8me' >"$work/accented.txt"
send_from_charlie ALPHA <"$work/accented.txt"
check "a send from standard input succeeds quietly" sent_quietly
wait_for_text "$work/ALPHA.out" "crème" 30
follows() { awk -v a="$2" -v b="$3" 'last == a && $0 == b { found = 1 } { last = $0 } END { exit !found }' "$1"; }
check "... and its accents and line break arrive intact" follows "$work/ALPHA.out" "Café" "crème"

started_at=$(date +%s%N)
send_from_charlie NOBODY Anyone there </dev/null
elapsed_ms=$((($(date +%s%N) - started_at) / 1000000))
check "a send to an unknown name exits 2 (status $sent)" [ "$sent" = 2 ]
check "... within two seconds ($elapsed_ms ms)" [ "$elapsed_ms" -lt 2000 ]
check "... saying so" grep -qx "pellamy-send: no computer answered to NOBODY on this network" "$work/send.out"

# Hostile datagrams to ALPHA: escape sequences in a valid record (clear screen, a window
# title with BEL), a DataOffset past the end, a first fragment with more to come. Then a
# valid one, by hand too: code page 850's 0x82 is é.
hand_built_datagram "$work/escapes" 02 88 'Look\x1b[2J\x1b]0;owned\x07 here'
hand_built_datagram "$work/offset" 02 600 'Wrong offset'
hand_built_datagram "$work/fragment" 03 88 'A fragment'
hand_built_datagram "$work/valid" 02 88 'Built by hand, caf\x82'
for datagram in escapes offset fragment valid; do
    send_by_hand "$work/$datagram" 10.138.0.1 || echo "lan_test: could not send $datagram" >&2
done
check "after hostile datagrams ALPHA's inbox takes a valid one" \
    wait_for_text "$work/ALPHA.out" "Built by hand, café" 30
check "... shows the escape sequences' control characters as '?'" \
    grep -qF 'Look?[2J?]0;owned? here' "$work/ALPHA.out"
lacks() { ! grep -qE -- "$2" "$1"; } # file pattern
check "... and no ESC byte reaches its output" lacks "$work/ALPHA.out" $'\x1b'
check "... nor the malformed datagrams' text" lacks "$work/ALPHA.out" "Wrong offset|A fragment"

check "ALPHA got nothing sent to BRAVO alone" lacks "$work/ALPHA.out" "By address"
check "BRAVO got nothing sent to ALPHA alone" lacks "$work/BRAVO.out" "Only for Alpha|Caf|hand"

for name in ALPHA BRAVO; do
    pid_var=${name,,}_pid
    kill -TERM "${!pid_var}"
    wait_for_exit "${!pid_var}" 30
    status=$?
    check "$name's inbox exits 0 on SIGTERM (status $status)" [ "$status" = 0 ]
done
check "ALPHA counted 5 messages and 2 datagrams refused" counted ALPHA 5 2
check "BRAVO counted 2 messages" counted BRAVO 2 0

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
# tshark names a question's name as it is, a record's with what suffix 0x00 means.
unique="(Workstation/Redirector)"
# The name service: registration, its defence, queries and their answers, node status, release.
for host in 1:ALPHA 2:BRAVO; do
    address=10.138.0.${host%%:*} name=${host#*:}
    check "$name registered: three broadcasts" frames_match 3 ip.src="$address" nbns.flags.opcode=5 nbns.flags.response=0 -- \
        ip.dst=$bcast udp.srcport=137 udp.dstport=137 udp.length=76 _ws.malformed= nbns.flags=0x2910 \
        nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=1 \
        nbns.name="$name<00>,$name<00> $unique" nbns.type=32,32 nbns.class=1,1 nbns.nb_flags=0x0000 nbns.addr="$address"
    check "... 250 ms apart" frames_spaced ip.src="$address" nbns.flags.opcode=5 nbns.flags.response=0
    check "$name released on SIGTERM" frames_match 1 ip.src="$address" nbns.flags.opcode=6 -- \
        ip.dst=$bcast udp.srcport=137 udp.dstport=137 udp.length=76 _ws.malformed= nbns.flags=0x3010 \
        nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=1 \
        nbns.name="$name<00>,$name<00> $unique" nbns.type=32,32 nbns.class=1,1 nbns.ttl=0 nbns.nb_flags=0x0000 nbns.addr="$address"
done
check "the second ALPHA's registration" frames_match 1+ ip.src=10.138.0.3 nbns.flags.opcode=5 -- \
    ip.dst=$bcast nbns.flags=0x2910 nbns.name="ALPHA<00>,ALPHA<00> $unique" nbns.addr=10.138.0.3
check "... refused by ALPHA" frames_match 1+ ip.src=10.138.0.1 nbns.flags.opcode=5 nbns.flags.response=1 -- \
    ip.dst=10.138.0.3 udp.srcport=137 _ws.malformed= nbns.flags=0xad86 nbns.flags.rcode=6 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.count.auth_rr=0 nbns.count.add_rr=0 \
    nbns.name="ALPHA<00> $unique" nbns.type=32 nbns.class=1 nbns.ttl=0 nbns.nb_flags=0x0000 nbns.addr=10.138.0.1
check "queries for ALPHA" frames_match 2+ nbns.name="ALPHA<00>" nbns.flags.opcode=0 nbns.flags.response=0 -- \
    ip.src=10.138.0.3 ip.dst=$bcast udp.dstport=137 udp.length=58 _ws.malformed= nbns.flags=0x0110 \
    nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.type=32 nbns.class=1
check "... answered by ALPHA" frames_match 2+ nbns.name="ALPHA<00> $unique" nbns.flags.opcode=0 nbns.flags.response=1 -- \
    ip.src=10.138.0.1 ip.dst=10.138.0.3 udp.srcport=137 udp.length=70 _ws.malformed= nbns.flags=0x8500 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.type=32 \
    nbns.class=1 nbns.nb_flags=0x0000 nbns.addr=10.138.0.1
check "three queries for NOBODY, unanswered" frames_match 3 nbns.name="NOBODY<00>" -- \
    ip.src=10.138.0.3 ip.dst=$bcast nbns.flags=0x0110 nbns.type=32
check "... 250 ms apart" frames_spaced nbns.name="NOBODY<00>"
check "a node status request to 10.138.0.2" frames_match 1+ nbns.type=33 nbns.flags.response=0 -- \
    ip.src=10.138.0.3 ip.dst=10.138.0.2 udp.dstport=137 udp.length=58 _ws.malformed= nbns.flags=0x0000 \
    nbns.count.queries=1 nbns.count.answers=0 nbns.count.auth_rr=0 nbns.count.add_rr=0 nbns.class=1
check "... answered with BRAVO and its workgroup" frames_match 1+ nbns.type=33 nbns.flags.response=1 -- \
    ip.src=10.138.0.2 ip.dst=10.138.0.3 udp.srcport=137 _ws.malformed= nbns.flags=0x8400 \
    nbns.count.queries=0 nbns.count.answers=1 nbns.class=1 nbns.ttl=0 \
    nbns.netbios_name=BRAVO,WORKGROUP nbns.name_flags.group=0,1

# The datagrams pellamy-send wrote: every field as the Messenger datagram has it, the record
# byte for byte. DGM_LENGTH is the bytes after the 14-byte header: 590 - 14.
check "every datagram CHARLIE sent" frames_match 4 nbdgm.source_name="CHARLIE<00>" -- \
    ip.src=10.138.0.3 udp.srcport=138 udp.dstport=138 udp.length=598 _ws.malformed= \
    nbdgm.first=1 nbdgm.next=0 nbdgm.src.ip=10.138.0.3 nbdgm.src.port=138 nbdgm.dgram_len=576 nbdgm.pkt_offset=0 \
    smb.cmd=0x25 smb.flags=0x18 smb.flags2=0x0004 smb.pid=65279 smb.wct=17 smb.tpc=0 smb.tdc=420 smb.mpc=2 \
    smb.mdc=0 smb.msc=0 smb.timeout=0 smb.pc=0 smb.po=88 smb.dc=420 smb.data_offset=88 smb.sc=3 smb.bcc=439 \
    smb.trans_name='\MAILSLOT\MESSNGR' mailslot.opcode=1 mailslot.priority=0 mailslot.class=2 \
    mailslot.name='\MAILSLOT\MESSNGR' data.len=420
check "the datagram to ALPHA" frames_match 1 data.data="$(record_hex CHARLIE ALPHA 'Only for Alpha')" -- \
    ip.dst=10.138.0.1 nbdgm.type=16 nbdgm.destination_name="ALPHA<00>"
check "the datagram to *" frames_match 1 data.data="$(record_hex CHARLIE '*' 'For every inbox')" -- \
    ip.dst=$bcast nbdgm.type=17 nbdgm.destination_name="WORKGROUP<00>"
# The record is the one Pellamy.exe writes to \\10.138.0.2\mailslot\messngr: the recipient is
# the address as given; the datagram goes to the name the node status answer gave.
check "the datagram to 10.138.0.2" frames_match 1 ip.dst=10.138.0.2 nbdgm.source_name="CHARLIE<00>" -- \
    nbdgm.type=16 nbdgm.destination_name="BRAVO<00>" data.data="$(record_hex CHARLIE 10.138.0.2 'By address')"
check "the datagram from standard input" frames_match 1 data.data="$(record_hex CHARLIE ALPHA 'Caf\x82\r\ncr\x8ame')" -- \
    ip.dst=10.138.0.1 nbdgm.type=16 nbdgm.destination_name="ALPHA<00>"
check "the hand-built datagrams went out" frames_match 4 nbdgm.source_name="MALLORY<00>" -- ip.dst=10.138.0.1

if [ "$failures" -gt 0 ]; then
    for file in ALPHA.out ALPHA.err BRAVO.out BRAVO.err second.out; do
        echo "--- $file"
        cat -v "$work/$file"
    done
    echo "lan_test: $failures checks failed"
    exit 1
fi
echo "lan_test: all checks passed"
