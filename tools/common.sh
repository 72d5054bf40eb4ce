# Shared by the run, test and bench commands: build trees, the choice of the Windows build
# that runs here, its private Wine prefix, the virtual display, and a LAN of network
# namespaces (lan.sh). Source it; it stops what it started when the calling script exits.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/lan.sh"
build=${PELLAMY_BUILD:-$root/build}

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

xvfb_pid=
wineserver_started=

# The tree of one Windows build: build/win holds the program (32-bit), build/win64 the same
# sources built for 64-bit Windows.
windows_tree() { # win32|win64
    if [ "$1" = win64 ]; then echo "$build/win64"; else echo "$build/win"; fi
}

# Configures and builds one Windows tree, every target of it.
build_windows() { # win32|win64
    local toolchain=mingw-w64-i686
    [ "$1" = win64 ] && toolchain=mingw-w64-x86_64
    cmake -S "$root" -B "$(windows_tree "$1")" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" >/dev/null
    cmake --build "$(windows_tree "$1")" -j"$(nproc)"
}

build_host() {
    cmake -S "$root" -B "$build/host" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build "$build/host" -j"$(nproc)"
}

# Chooses the Windows build that runs here, once Wine is installed: the 32-bit one when Wine's
# 32-bit loader starts, else the 64-bit one (PELLAMY_WINE_ARCH=win32 or win64 forces it), and
# says so when it is the 64-bit one. Sets win (the tree), wine (the loader), WINEARCH and
# WINEPREFIX (the named prefix in the tree).
#   choose_windows_build testing|running|measuring PREFIX-NAME
choose_windows_build() {
    case ${PELLAMY_WINE_ARCH:-} in
    win32 | win64) WINEARCH=$PELLAMY_WINE_ARCH ;;
    "") if /usr/lib/wine/wine --version >/dev/null 2>&1; then WINEARCH=win32; else WINEARCH=win64; fi ;;
    *)
        echo "PELLAMY_WINE_ARCH is win32 or win64, not '$PELLAMY_WINE_ARCH'" >&2
        exit 2
        ;;
    esac
    export WINEARCH
    win=$(windows_tree "$WINEARCH")
    export WINEPREFIX=$win/$2
    wine=/usr/lib/wine/wine
    if [ "$WINEARCH" = win64 ]; then
        wine=/usr/lib/wine/wine64
        local why="This machine runs 64-bit programs only"
        [ -n "${PELLAMY_WINE_ARCH:-}" ] && why=PELLAMY_WINE_ARCH=win64
        echo "$why: $1 the 64-bit build of the same sources."
    fi
}

stop_started() {
    # A second signal (timeout and service managers signal the process group too) must not cut
    # this short; caught, not ignored, so that the commands below keep the default handling.
    trap : INT TERM
    lan_stop
    [ -z "$wineserver_started" ] || stop_wine
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap stop_started EXIT

# A virtual X display of our own, on the first free number.
start_virtual_display() {
    local file
    file=$(mktemp)
    start_display "$file" || { kill "$!"; exit 1; }
    xvfb_pid=$!
    export DISPLAY=$display
    rm "$file"
}

# The chosen build's Wine prefix, made once; a wine server kept running for the session
# (one left behind by an interrupted run is stopped first).
start_wine() {
    mkdir -p "$win"
    stop_wine
    # From here on a server of this prefix may run, the one that making the prefix starts too.
    wineserver_started=1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX"
        "$wine" wineboot -i >/dev/null 2>&1
        timeout 60 wineserver -w
    fi
    # Debian's Wine 8 looks for its own fonts (fonts-wine: Tahoma, MS Sans Serif, Marlett for
    # the caption buttons) at a path that does not resolve, and falls back to other faces; in
    # the prefix's Fonts folder it finds them.
    cp -u /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    wineserver -p
}

# Stops the prefix's wine server, and with it its programs.
stop_wine() { { wineserver -k && timeout 20 wineserver -w; } 2>/dev/null || true; }
