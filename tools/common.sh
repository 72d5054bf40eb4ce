# Shared by the run and test commands: build trees, the private Wine prefix and the
# virtual display. Source it; it stops what it started when the calling script exits.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELLAMY_BUILD:-$root/build}

# The tests' prefix; the run command keeps one of its own, so both can run at once.
export WINEPREFIX=${WINEPREFIX:-$build/win/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

xvfb_pid=
wineserver_started=

build_windows() {
    cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" >/dev/null
    cmake --build "$build/win" -j"$(nproc)"
}

build_host() {
    cmake -S "$root" -B "$build/host" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$build/host" -j"$(nproc)"
}

stop_started() {
    if [ -n "$wineserver_started" ]; then
        wineserver -k 2>/dev/null || true
        timeout 20 wineserver -w 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap stop_started EXIT

# A virtual X display of our own; its number is the first free one, told by Xvfb itself.
start_virtual_display() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$number_file" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        sleep 0.1
    done
    [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$(head -n 1 "$number_file")
    rm -f "$number_file"
}

# The build tree's own Wine prefix, made once; a wine server kept running for the session
# (one left behind by an interrupted run is stopped first).
start_wine() {
    mkdir -p "$build/win"
    wineserver -k 2>/dev/null || true
    timeout 20 wineserver -w 2>/dev/null || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        timeout 60 wineserver -w
    fi
    wineserver -p
    wineserver_started=1
}
