#!/usr/bin/env bash
# The bench command: builds what it measures and prints one table of the Windows programs'
# sizes and imports and of the speed figures against their targets (those on the wire taken on
# network namespaces, as root), also written to build/bench.txt. A target missed is reported in
# the table, never an error. Where Wine cannot start 32-bit programs, the Windows figures are
# those of the 64-bit build of the same sources.
set -euo pipefail
source "$(dirname "$0")/common.sh"

log=$build/bench.log
mkdir -p "$build"
: >"$log"

# Runs a step with its output in the log, shown only when it fails.
quietly() {
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "bench: '$*' failed; the whole output is in $log" >&2
        exit 1
    fi
}

"$root/tools/deps.sh"
# A Wine prefix of its own, so that the bench and the tests can run at once.
choose_windows_build measuring wineprefix-bench
bits=32 objdump=i686-w64-mingw32-objdump
[ "$WINEARCH" = win64 ] && bits=64 objdump=x86_64-w64-mingw32-objdump
echo "Building (output in $log)"
quietly build_windows "$WINEARCH"
quietly cmake --build "$win" --target mailslot_bench startup_bench minimal_tray inbox_bench inbox_flood_bench sendto \
    -j"$(nproc)"
# Instructions are counted on code built without the sanitizers.
quietly cmake -S "$root" -B "$build/bench-host" -DCMAKE_CXX_COMPILER=clang++ -DPELLAMY_SANITIZE=OFF
quietly cmake --build "$build/bench-host" --target compose_bench linux_bench sendto pellamy-send pellamy-inbox \
    -j"$(nproc)"

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); }
verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo missed; fi; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# A figure from the file of the last measurement, "key value..." lines: the value, or a field.
figure() { awk -v key="$1" -v field="${2:-2}" '$1 == key { print $field }' "$figures" 2>/dev/null; }
unmeasured() { row "$1" "the bench failed: see $figures and $log" "$2" "not measured"; } # what target

# --- The executables: size and imported DLLs ------------------------------------------
system_dlls="advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ntdll|ole32|oleaut32|shell32|shlwapi|user32|version"
for program in Pellamy PellamyInbox pellamy-send; do
    size=$(stat -c %s "$win/$program.exe")
    row "$program.exe size ($bits-bit)" "$size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }') KiB)" \
        "<= 64 KiB" "$(verdict "$size <= 65536")"
    dlls=$("$objdump" -p "$win/$program.exe" | awk '/DLL Name:/ { print $3 }')
    others=$(grep -civxE "($system_dlls|api-ms-win-.*)\.dll" <<<"$dlls" || true)
    row "$program.exe imports ($bits-bit)" "$(paste -sd, <<<"$dlls" | sed 's/,/, /g')" "system DLLs only" \
        "$(verdict "$others == 0")"
done

# --- ComposeDatagram: instructions per call, under callgrind ---------------------------
# Inclusive instructions of one function per call: the difference between two runs of
# different lengths, so that what happens once (start-up, first calls) drops out.
instructions_per_call() { # mode message-length function
    local counts=() calls out
    for calls in 1000 2000; do
        out=$build/bench-host/callgrind.out
        quietly valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$3" \
            "$build/bench-host/tools/bench/compose_bench" "$1" "$2" "$calls"
        counts+=("$(awk '/^totals:/ { print $2 }' "$out")")
    done
    echo $(((counts[1] - counts[0]) / 1000))
}
# Against the same work done plainly (the record zeroed, two copies, the conversion call);
# beside it, without a target, the older baseline: the least any composition does (memcpy of
# the fields, the conversion inline).
for length in 2 255; do
    compose=$(instructions_per_call compose $length 'ComposeDatagram(*')
    plain=$(instructions_per_call plain $length '*PlainCompose(*')
    copy=$(instructions_per_call copy $length '*CopyAndConvert(*')
    ratio=$(ratio "$compose" "$plain")
    row "ComposeDatagram, $length-byte message (host, Ir per call)" \
        "$compose vs $plain for the same work done plainly (zeroing, two copies, conversion): ${ratio}x" \
        "<= 1.10x" "$(verdict "$ratio <= 1.10")"
    row "ComposeDatagram, $length-byte message (host, Ir per call)" \
        "$compose vs $copy for memcpy + conversion: $(ratio "$compose" "$copy")x" "-" "older baseline"
done

# --- On the wire, on network namespaces: tools/bench/wire.sh says how -----------------
figures=$build/bench-wire.txt
rm -f "$figures"
timeout 900 "$root/tools/bench/wire.sh" "$build/bench-host" "$win" "$wine" "$figures" >>"$log" 2>&1 || true
what="pellamy-inbox, datagrams taken and printed to /dev/null (per second of its processor time, always finding some waiting)"
if [ -n "$(figure rate_bare)" ]; then
    ratio=$(ratio "$(figure rate_inbox)" "$(figure rate_bare)")
    row "$what" \
        "median $(figure rate_inbox) vs bare recvfrom loop $(figure rate_bare): ${ratio}x ($(figure rate_rounds) rounds of $(figure rate_sent) sent back to back on the same processor; taken $(figure rate_inbox_taken) and $(figure rate_bare_taken))" \
        ">= 0.5x" "$(verdict "$ratio >= 0.5")"
else
    unmeasured "$what" ">= 0.5x"
fi
what="pellamy-inbox memory, 100,000 hostile and valid datagrams"
if [ -n "$(figure memory_taken)" ]; then
    growth=$(($(figure memory_hwm_after) - $(figure memory_rss_before)))
    row "$what" \
        "VmRSS $(figure memory_rss_before) KiB before, $(figure memory_rss_after) KiB after; VmHWM after $(figure memory_hwm_after) KiB: grew $growth KiB (taken: $(figure memory_taken) of 101000, the first 1000 before the first reading)" \
        "growth <= 1 MiB" "$(verdict "$growth <= 1024")"
else
    unmeasured "$what" "growth <= 1 MiB"
fi
# pellamy-send and pellamy-send.exe, each against the bare sendto of its system.
send_row() { # key what bare
    if [ -n "$(figure "$1"_bare_ms)" ]; then
        row "$2" \
            "$(figure "$1"_ms) ms vs a bare $3 of the same bytes $(figure "$1"_bare_ms) ms: $(ratio "$(figure "$1"_ms)" "$(figure "$1"_bare_ms)")x (medians of $(figure send_runs))" \
            "-" "reported"
    else
        unmeasured "$2" "-"
    fi
}
send_row send "pellamy-send, start to its datagram on the wire, an address given" sendto
send_row send_exe "pellamy-send.exe, start to its datagram on the wire, an address given (Wine, $bits-bit)" \
    "Winsock sendto"

# --- Under Wine: each program says how it measures -----------------------------------
start_virtual_display
start_wine
# Runs a bench program, its file of figures the last argument, on a Wine desktop of its own
# (Pellamy and the Inbox need a notification area); explorer keeps the program's status to
# itself, so the file tells whether it worked.
measure() { # program seconds argument...
    figures=$build/bench-$1.txt
    rm -f "$figures"
    timeout "$2" "$wine" explorer "/desktop=pellamy-$1-$$,800x600" "Z:$win/tools/bench/$1.exe" "${@:3}" \
        "Z:$figures" >>"$log" 2>&1 || true
    grep -q '^failures 0' "$figures" 2>/dev/null && sed -i 's/\r$//' "$figures" # written with CR LF
}

# Sends through DoMailSlotClient against the system calls a send makes (open, computer-name
# query, write, close); beside it, without a target, the older baseline: open, write and close.
what="sends to a local mailslot (Wine, $bits-bit)"
if measure mailslot_bench 600; then
    milliseconds() { awk -v s="$(figure "$1"_batch_seconds)" 'BEGIN { printf "%.1f", s * 1000 }'; }
    sends=$(figure sends)
    arrived="$(figure client_received 3), $(figure calls_received 3) and $(figure bare_received 3)"
    arrived="arrived whole: $arrived; boxes: $(figure boxes)"
    [ "$arrived" = "arrived whole: $sends, $sends and $sends; boxes: 0" ] && arrived="all arrived whole"
    calls=$(ratio "$(figure client_batch_seconds)" "$(figure calls_batch_seconds)")
    what="sends to a local mailslot (Wine, $bits-bit; median batch of $(figure batch), $sends sends each way)"
    row "$what" \
        "DoMailSlotClient $(milliseconds client) ms vs the same system calls (CreateFileA, GetComputerNameA, WriteFile, CloseHandle) $(milliseconds calls) ms: ${calls}x ($arrived)" \
        "<= 1.10x" "$(verdict "$calls <= 1.10")"
    row "$what" \
        "DoMailSlotClient $(milliseconds client) ms vs bare open/write/close $(milliseconds bare) ms: $(ratio "$(figure client_batch_seconds)" "$(figure bare_batch_seconds)")x" \
        "-" "older baseline"
else
    unmeasured "$what" "<= 1.10x"
fi

what="start-up to the first tray callback (Wine, $bits-bit)"
if measure startup_bench 300 "Z:$win/Pellamy.exe" "Z:$win/tools/bench/minimal_tray.exe"; then
    ratio=$(ratio "$(figure pellamy_median_ms)" "$(figure minimal_median_ms)")
    row "$what" \
        "Pellamy $(figure pellamy_median_ms) ms vs minimal tray program $(figure minimal_median_ms) ms (medians of $(figure runs) each): ${ratio}x" \
        "<= 1.10x" "$(verdict "$ratio <= 1.10")"
else
    unmeasured "$what" "<= 1.10x"
fi

if measure inbox_bench 900 "Z:$win/PellamyInbox.exe"; then
    row "Pellamy Inbox, 10,000 records (Wine, $bits-bit, records/s)" \
        "median $(figure inbox_per_second) vs bare ReadFile loop $(figure bare_per_second): $(figure inbox_to_bare)x; fastest rounds $(figure inbox_best_per_second) vs $(figure bare_best_per_second): $(figure inbox_to_bare_best)x; none lost" \
        ">= 0.5x" "$(verdict "$(figure inbox_to_bare) >= 0.5")"
    row "Pellamy Inbox, last write to all 10,000 counted (Wine, $bits-bit)" "$(figure inbox_show_ms) ms (median)" "-" "reported"
else
    unmeasured "Pellamy Inbox, 10,000 records (Wine, $bits-bit)" ">= 0.5x"
fi

if measure inbox_flood_bench 600 "Z:$win/PellamyInbox.exe"; then
    row "Pellamy Inbox answering while 20,000 records/s arrive for 10 s (Wine, $bits-bit, 99th percentile)" \
        "$(figure p99_median_ms) ms (median of rounds; slowest answer $(figure slowest_max_ms) ms; writer reached $(figure rate_median) records/s; all counted $(figure counted_median_ms) ms after the last write)" \
        "< 100 ms" "$(verdict "$(figure p99_median_ms) < 100")"
else
    unmeasured "Pellamy Inbox answering while 20,000 records/s arrive (Wine, $bits-bit)" "< 100 ms"
fi

{
    echo "| figure | measured | target | verdict |"
    echo "|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
} | tee "$build/bench.txt"
