# A LAN of network namespaces for the tests, the bench and the demo: a bridge and hosts on
# 10.138.0.0/24, each in namespaces of its own: its network, its host name, and its own
# /etc/resolv.conf (a name server that refuses at once) and /etc/hosts. Nothing touches the
# machine's own interfaces. Needs root. Source it, then:
#   lan_start PREFIX          namespaces are named PREFIX-PID-...; removes what killed runs left
#   lan_host NAME NUMBER      a host named NAME at 10.138.0.NUMBER
#   lan_up                    waits until every link is up
#   lan_link NAME DEVICE      after lan_up: one more link of host NAME to the bridge, DEVICE,
#                             left down, without an address
#   on_host NAME COMMAND...   runs a command on a host
#   lan_capture FILE FILTER   captures the frames on the bridge that match FILTER into FILE,
#                             by tshark, whose process is $lan_tshark
#   lan_stop                  removes everything of this LAN; call it when the script exits
#   lan_wine NAME DIRECTORY   Wine on a host (loader $wine): a virtual display, and a prefix
#                             in DIRECTORY whose server, which makes the programs' sockets, runs
#                             in the host's namespaces
#   on_wine NAME COMMAND...   runs a command there, with that display and prefix
# and bounded waits: wait_until TENTHS COMMAND..., wait_for_text FILE TEXT TENTHS,
# wait_for_exit PID TENTHS; and start_display, a virtual X display.

lan_prefix=
lan_bridge=
lan_hosts=()
lan_namespaces=()
lan_tshark=
declare -A lan_holder=() lan_number=() lan_display=() lan_wineprefix=()

# Waits up to a number of tenths of a second for a command to succeed.
wait_until() { # tenths command...
    local _
    for _ in $(seq "$1"); do
        "${@:2}" && return 0
        sleep 0.1
    done
    "${@:2}"
}

# ... for a file to hold a fixed text.
wait_for_text() { wait_until "$3" grep -qF -- "$2" "$1" 2>/dev/null; } # file text tenths

# ... for a process to end; its status, 124 if it did not.
wait_for_exit() { # pid tenths
    wait_until "$2" eval "! kill -0 $1 2>/dev/null" || return 124
    wait "$1"
}

lan_remove() { # namespace
    local pid
    for pid in $(ip netns pids "$1" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    ip netns del "$1" 2>/dev/null
    rm -rf "/etc/netns/$1"
}

lan_start() { # prefix
    local ns owner
    # What a run that was killed before it could clean up left, with the programs in it.
    for ns in $(ip netns list | awk -v p="^$1-[0-9]+-" '$1 ~ p { print $1 }'); do
        owner=${ns#"$1"-}
        owner=${owner%%-*}
        kill -0 "$owner" 2>/dev/null || lan_remove "$ns"
    done
    lan_prefix=$1-$$
    lan_bridge=$lan_prefix-bridge
    lan_namespaces+=("$lan_bridge")
    ip netns add "$lan_bridge" && ip -n "$lan_bridge" link set lo up &&
        ip -n "$lan_bridge" link add br0 type bridge && ip -n "$lan_bridge" link set br0 up ||
        { echo "cannot make network namespaces (root and a kernel with veth and bridges are needed)" >&2; return 1; }
}

lan_stop() {
    local ns
    for ns in "${lan_namespaces[@]}"; do lan_remove "$ns"; done
}

lan_host() { # name number
    local ns=$lan_prefix-${1,,}
    lan_hosts+=("$1")
    lan_namespaces+=("$ns")
    lan_number[$1]=$2
    ip netns add "$ns" && ip -n "$ns" link set lo up &&
        ip -n "$lan_bridge" link add "port$2" type veth peer name eth0 netns "$ns" &&
        ip -n "$lan_bridge" link set "port$2" master br0 up &&
        ip -n "$ns" addr add "10.138.0.$2/24" brd + dev eth0 && ip -n "$ns" link set eth0 up || return 1
    mkdir -p "/etc/netns/$ns"
    echo "nameserver 127.0.0.1" >"/etc/netns/$ns/resolv.conf"
    printf '127.0.0.1 localhost\n10.138.0.%s %s\n' "$2" "${1,,}" >"/etc/netns/$ns/hosts"
    # A process that holds the host's namespaces: ip netns exec gives it the host's /etc files,
    # unshare its host name.
    ip netns exec "$ns" unshare --uts sh -c "hostname $1 && exec sleep infinity" &
    lan_holder[$1]=$!
    disown
}

lan_link() { # name device
    local port=port${lan_number[$1]}$2
    ip -n "$lan_bridge" link add "$port" type veth peer name "$2" netns "$lan_prefix-${1,,}" &&
        ip -n "$lan_bridge" link set "$port" master br0 up
}

# In a subshell (started with &, or in ( ), $( ) or a pipeline) the command takes the
# subshell's place, so that $! is the command's process: what follows it there does not run.
on_host() { # name command...
    local holder=${lan_holder[$1]}
    shift
    [ "$BASHPID" != $$ ] && exec nsenter -t "$holder" -m -u -n -w"$PWD" -- "$@"
    nsenter -t "$holder" -m -u -n -w"$PWD" -- "$@"
}

lan_ready() {
    local host
    for host in "${lan_hosts[@]}"; do
        [ "$(on_host "$host" hostname 2>/dev/null)" = "$host" ] &&
            ip -n "$lan_prefix-${host,,}" -o link show dev eth0 | grep -q "state UP" || return 1
    done
    [ "$(ip -n "$lan_bridge" -o link show master br0 | grep -c "state UP")" = ${#lan_hosts[@]} ]
}

lan_up() {
    wait_until 50 lan_ready || { echo "the LAN's links did not come up" >&2; return 1; }
}

# tshark on the bridge; it says it captures a moment before it does, so the first host probes
# the second's discard port until the file grows within a tenth of a second of a probe.
lan_capture() { # file filter
    ip netns exec "$lan_bridge" tshark -q -i br0 -f "($2) or udp port 9" -w "$1" 2>"$1.err" &
    lan_tshark=$!
    wait_for_text "$1.err" "Capturing on" 100 || { echo "tshark did not start: $(cat "$1.err")" >&2; return 1; }
    wait_until 30 lan_probe "$1" || { echo "tshark captured nothing: $(cat "$1.err")" >&2; return 1; }
}

lan_probe() { # file
    local size
    size=$(stat -c %s "$1" 2>/dev/null || echo 0)
    on_host "${lan_hosts[0]}" bash -c "echo probe >/dev/udp/10.138.0.${lan_number[${lan_hosts[1]}]}/9" 2>/dev/null
    sleep 0.1
    [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$size" ]
}

# A virtual X display, started by the command given after the file (on_host NAME: on that
# host), Xvfb telling its number in the file; its name in $display, its process in $!.
start_display() { # file [command...]
    "${@:2}" Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$1" 2>/dev/null &
    wait_until 100 test -s "$1" || { echo "Xvfb did not start" >&2; return 1; }
    display=:$(head -n 1 "$1")
}

lan_wine() { # name directory
    mkdir -p "$2/prefix"
    start_display "$2/display" on_host "$1" || return 1
    disown
    lan_display[$1]=$display
    lan_wineprefix[$1]=$2/prefix
    on_wine "$1" wineserver -p && on_wine "$1" "$wine" wineboot -i >"$2/wineboot.log" 2>&1 ||
        { echo "Wine did not start on $1: $(tail -n 5 "$2/wineboot.log")" >&2; return 1; }
}

on_wine() { # name command...
    local host=$1
    shift
    on_host "$host" env WINEPREFIX="${lan_wineprefix[$host]}" DISPLAY="${lan_display[$host]}" "$@"
}
