#!/usr/bin/env bash
# The bench command: builds what it measures and prints one table of Pellamy's and Pellamy
# Inbox's size and speed figures, and those of pellamy-inbox and pellamy-send (measured on
# network namespaces, as root), also written to build/bench.txt. A target missed is
# reported in the table, never an error. Where Wine cannot start 32-bit programs, the Windows figures are those of
# the 64-bit build of the same sources (see choose_windows_build).
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
quietly cmake --build "$win" --target mailslot_bench -j"$(nproc)"
# Instructions are counted on code built without the sanitizers.
quietly cmake -S "$root" -B "$build/bench-host" -DCMAKE_CXX_COMPILER=clang++ -DPELLAMY_SANITIZE=OFF
quietly cmake --build "$build/bench-host" --target compose_bench linux_bench pellamy-send pellamy-inbox -j"$(nproc)"

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); }
verdict() { if awk "BEGIN { exit !($1) }"; then echo met; else echo missed; fi; }

# --- The executables: size and imported DLLs ------------------------------------------
system_dlls=" advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi user32 version "
for program in Pellamy PellamyInbox; do
    exe=$win/$program.exe
    size=$(stat -c %s "$exe")
    kib=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }')
    row "$program.exe size ($bits-bit)" "$size bytes ($kib KiB)" "<= 64 KiB" "$(verdict "$size <= 65536")"

    mapfile -t dlls < <("$objdump" -p "$exe" | awk '/DLL Name:/ { print $3 }')
    others=0
    for dll in "${dlls[@]}"; do
        name=$(echo "${dll%.*}" | tr '[:upper:]' '[:lower:]')
        [[ $system_dlls == *" $name "* || $name == api-ms-win-* ]] || others=$((others + 1))
    done
    printf -v list '%s, ' "${dlls[@]}"
    row "$program.exe imports ($bits-bit)" "${list%, }" "system DLLs only" "$(verdict "$others == 0")"
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
    ratio=$(awk -v a="$compose" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')
    row "ComposeDatagram, $length-byte message (host, Ir per call)" \
        "$compose vs $plain for the same work done plainly (zeroing, two copies, conversion): ${ratio}x" \
        "<= 1.10x" "$(verdict "$ratio <= 1.10")"
    ratio=$(awk -v a="$compose" -v b="$copy" 'BEGIN { printf "%.2f", a / b }')
    row "ComposeDatagram, $length-byte message (host, Ir per call)" \
        "$compose vs $copy for memcpy + conversion: ${ratio}x" "-" "older baseline"
done

# --- pellamy-inbox and pellamy-send on network namespaces -------------------------------
# Made and removed by tools/bench/linux.sh, which says how each figure is taken.
linux_log=$build/bench-linux.txt
rm -f "$linux_log"
timeout 600 "$root/tools/bench/linux.sh" "$build/bench-host" "$linux_log" >>"$log" 2>&1 || true
figure() { awk -v key="$1" '$1 == key { print $2 }' "$linux_log" 2>/dev/null; }
what="pellamy-inbox, datagrams taken and printed to /dev/null (per second of its processor time, always finding some waiting)"
if [ -n "$(figure rate_bare)" ]; then
    ratio=$(awk -v a="$(figure rate_inbox)" -v b="$(figure rate_bare)" 'BEGIN { printf "%.2f", a / b }')
    row "$what" \
        "median $(figure rate_inbox) vs bare recvfrom loop $(figure rate_bare): ${ratio}x ($(figure rate_rounds) rounds of $(figure rate_sent) sent back to back on the same processor; taken $(figure rate_inbox_taken) and $(figure rate_bare_taken))" \
        ">= 0.5x" "$(verdict "$ratio >= 0.5")"
else
    row "$what" "the bench failed: see $log" ">= 0.5x" "not measured"
fi
what="pellamy-inbox memory, 100,000 hostile and valid datagrams"
if [ -n "$(figure memory_taken)" ]; then
    growth=$(($(figure memory_hwm_after) - $(figure memory_rss_before)))
    row "$what" \
        "VmRSS $(figure memory_rss_before) KiB before, $(figure memory_rss_after) KiB after; VmHWM after $(figure memory_hwm_after) KiB: grew $growth KiB (taken: $(figure memory_taken) of 101000, the first 1000 before the first reading)" \
        "growth <= 1 MiB" "$(verdict "$growth <= 1024")"
else
    row "$what" "the bench failed: see $log" "growth <= 1 MiB" "not measured"
fi
what="pellamy-send, start to its datagram on the wire, an address given"
if [ -n "$(figure send_ms)" ]; then
    ratio=$(awk -v a="$(figure send_ms)" -v b="$(figure send_bare_ms)" 'BEGIN { printf "%.2f", a / b }')
    row "$what" \
        "$(figure send_ms) ms vs a bare sendto of the same bytes $(figure send_bare_ms) ms: ${ratio}x (medians of $(figure send_runs))" \
        "-" "reported"
else
    row "$what" "the bench failed: see $log" "-" "not measured"
fi

# --- Sends under Wine: DoMailSlotClient against bare calls ---------------------------------
# Against the system calls a send makes (open, computer-name query, write, close); beside it,
# without a target, the older baseline: open, write and close alone.
start_virtual_display
start_wine
sends_log=$build/bench-mailslot.txt
if timeout 600 "$wine" "$win/tools/bench/mailslot_bench.exe" >"$sends_log" 2>&1 &&
    grep -q '^bare_batch_seconds' "$sends_log"; then
    sed -i 's/\r$//' "$sends_log" # the Windows program ends its lines with CR LF
    figure() { awk -v key="$1" -v field="${2:-2}" '$1 == key { print $field }' "$sends_log"; }
    milliseconds() { awk -v s="$(figure "$1"_batch_seconds)" 'BEGIN { printf "%.1f", s * 1000 }'; }
    sends=$(figure sends)
    arrived="all arrived whole"
    if [ "$(figure client_received 3)" != "$sends" ] || [ "$(figure calls_received 3)" != "$sends" ] ||
        [ "$(figure bare_received 3)" != "$sends" ] || [ "$(figure boxes)" != 0 ]; then
        arrived="arrived whole: $(figure client_received 3), $(figure calls_received 3) and"
        arrived+=" $(figure bare_received 3); boxes: $(figure boxes)"
    fi
    ratio() {
        awk -v a="$(figure client_batch_seconds)" -v b="$(figure "$1"_batch_seconds)" 'BEGIN { printf "%.2f", a / b }'
    }
    calls="the same system calls (CreateFileA, GetComputerNameA, WriteFile, CloseHandle)"
    what="sends to a local mailslot (Wine, $bits-bit; median batch of $(figure batch), $sends sends each way)"
    row "$what" \
        "DoMailSlotClient $(milliseconds client) ms vs $calls $(milliseconds calls) ms: $(ratio calls)x ($arrived)" \
        "<= 1.10x" "$(verdict "$(ratio calls) <= 1.10")"
    row "$what" \
        "DoMailSlotClient $(milliseconds client) ms vs bare open/write/close $(milliseconds bare) ms: $(ratio bare)x" \
        "-" "older baseline"
else
    row "sends to a local mailslot (Wine, $bits-bit)" "the bench program failed: see $sends_log" "<= 1.10x" \
        "not measured"
fi

# --- Start-up under Wine -----------------------------------------------------------------
# Time from process start until the hidden frame answers the tray callback, against a minimal
# program that creates one window and registers one icon; medians of runs taken in turn. On a
# Wine desktop of its own: without a notification area neither program starts. Explorer keeps
# the driver's status to itself, so the driver's file of figures tells whether it worked.
quietly cmake --build "$win" --target startup_bench minimal_tray -j"$(nproc)"
startup_log=$build/bench-startup.txt
startup_runs=21
rm -f "$startup_log"
timeout 300 "$wine" explorer "/desktop=pellamy-bench-$$,800x600" "Z:$win/tools/bench/startup_bench.exe" \
    "Z:$win/Pellamy.exe" "Z:$win/tools/bench/minimal_tray.exe" "Z:$startup_log" "$startup_runs" \
    >>"$log" 2>&1 || true
if [ -f "$startup_log" ] && grep -q '^failures 0' "$startup_log"; then
    sed -i 's/\r$//' "$startup_log"
    figure() { awk -v key="$1" '$1 == key { print $2 }' "$startup_log"; }
    pellamy_ms=$(figure pellamy_median_ms)
    minimal_ms=$(figure minimal_median_ms)
    ratio=$(awk -v a="$pellamy_ms" -v b="$minimal_ms" 'BEGIN { printf "%.2f", a / b }')
    row "start-up to the first tray callback (Wine, $bits-bit)" \
        "Pellamy $pellamy_ms ms vs minimal tray program $minimal_ms ms (medians of $startup_runs each): ${ratio}x" \
        "<= 1.10x" "$(verdict "$ratio <= 1.10")"
else
    row "start-up to the first tray callback (Wine, $bits-bit)" "the bench program failed: see $startup_log and $log" \
        "<= 1.10x" "not measured"
fi

# --- Pellamy Inbox under Wine: 10,000 records back to back -------------------------------
# The drain rate as the writer sees it (the mailslot holds about ten messages, after which a
# writer waits for the reader), the Inbox against a bare loop of ReadFile, medians and the
# fastest rounds of runs taken in turn; then how long after the last write the Inbox's status
# line counts all of them. On a Wine desktop of its own, as the Inbox needs a notification
# area; a round that loses a record fails the figure.
quietly cmake --build "$win" --target inbox_bench -j"$(nproc)"
inbox_log=$build/bench-inbox.txt
rm -f "$inbox_log"
timeout 900 "$wine" explorer "/desktop=pellamy-bench-inbox-$$,800x600" "Z:$win/tools/bench/inbox_bench.exe" \
    "Z:$win/PellamyInbox.exe" "Z:$inbox_log" >>"$log" 2>&1 || true
if [ -f "$inbox_log" ] && grep -q '^failures 0' "$inbox_log"; then
    sed -i 's/\r$//' "$inbox_log"
    figure() { awk -v key="$1" '$1 == key { print $2 }' "$inbox_log"; }
    row "Pellamy Inbox, 10,000 records (Wine, $bits-bit, records/s)" \
        "median $(figure inbox_per_second) vs bare ReadFile loop $(figure bare_per_second): $(figure inbox_to_bare)x; fastest rounds $(figure inbox_best_per_second) vs $(figure bare_best_per_second): $(figure inbox_to_bare_best)x; none lost" \
        ">= 0.5x" "$(verdict "$(figure inbox_to_bare) >= 0.5")"
    row "Pellamy Inbox, last write to all 10,000 counted (Wine, $bits-bit)" "$(figure inbox_show_ms) ms (median)" "-" "reported"
else
    row "Pellamy Inbox, 10,000 records (Wine, $bits-bit)" "the bench program failed: see $inbox_log and $log" \
        ">= 0.5x" "not measured"
fi

# --- Pellamy Inbox under Wine: answering while flooded -------------------------------------
# While 20,000 records a second arrive for 10 seconds, how long the window takes to answer a
# message sent to it (SendMessageTimeout every 10 ms): the 99th percentile of each round, the
# median of the rounds. On a Wine desktop of its own, as above.
quietly cmake --build "$win" --target inbox_flood_bench -j"$(nproc)"
flood_log=$build/bench-inbox-flood.txt
rm -f "$flood_log"
timeout 600 "$wine" explorer "/desktop=pellamy-bench-flood-$$,800x600" "Z:$win/tools/bench/inbox_flood_bench.exe" \
    "Z:$win/PellamyInbox.exe" "Z:$flood_log" >>"$log" 2>&1 || true
if [ -f "$flood_log" ] && grep -q '^failures 0' "$flood_log"; then
    sed -i 's/\r$//' "$flood_log"
    figure() { awk -v key="$1" '$1 == key { print $2 }' "$flood_log"; }
    p99=$(figure p99_median_ms)
    row "Pellamy Inbox answering while 20,000 records/s arrive for 10 s (Wine, $bits-bit, 99th percentile)" \
        "$p99 ms (median of rounds; slowest answer $(figure slowest_max_ms) ms; writer reached $(figure rate_median) records/s; all counted $(figure counted_median_ms) ms after the last write)" \
        "< 100 ms" "$(verdict "$p99 < 100")"
else
    row "Pellamy Inbox answering while 20,000 records/s arrive (Wine, $bits-bit)" \
        "the bench program failed: see $flood_log and $log" "< 100 ms" "not measured"
fi

{
    echo "| figure | measured | target | verdict |"
    echo "|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
} | tee "$build/bench.txt"
