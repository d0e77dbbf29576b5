#!/usr/bin/env bash
# The private Wine world of the tests: an Xvfb display, a Wine prefix and a persistent
# wineserver, shared by every Wine test of one ctest run.
#   wine-env.sh up   STATE_DIR   start (idempotent); writes STATE_DIR/env.sh
#   wine-env.sh down STATE_DIR   stop the display and the wineserver
#   wine-env.sh run  STATE_DIR CMD...   run CMD inside that world
# CORVID_XVFB_SCREEN (default 1280x1024x24) sets the display's size when it starts.
# Every Wine program of the world runs with address-space randomisation off (setarch -R,
# inherited by all children): Debian's wine64 loader sits at 0x7d000000 and, without its
# preloader, the kernel may put the loader's heap anywhere in the 1 GB above it, now and
# then across the shared user data page at 0x7ffe0000; Wine then ends the program before
# it runs ("failed to map the shared user data"). run counts programs and such failures
# in STATE_DIR/starts.log; down prints their sum and keeps it in STATE_DIR/starts-summary.txt.
set -euo pipefail
if (( (0x$(cat /proc/self/personality) & 0x0040000) == 0 )); then
    exec setarch "$(uname -m)" -R "$0" "$@"
fi
action=$1; state=$(realpath -m "$2"); shift 2
mkdir -p "$state"
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

# Whether this prefix's wineserver runs and was started persistent (-p). A server that
# a Wine program started on its own ends whenever the world is idle for a moment, and
# with it the desktop and services: programs started while they go down fail at random.
persistent_server() {
    local pid
    for pid in $(pgrep -x wineserver64 || true); do
        # A server that ends meanwhile has no environ left to read: quietly not this one.
        tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
        tr '\0' '\n' 2>/dev/null < "/proc/$pid/cmdline" | grep -qx -- '-p' && return 0
    done
    return 1
}

# wineboot (or any program run without one) may have started a server of its own, which
# keeps the persistent one from starting: it is let end first.
start_persistent_server() {
    if ! persistent_server; then
        wineserver -w
        setsid wineserver -p >/dev/null 2>&1 < /dev/null || true
    fi
    persistent_server || { echo "no persistent wineserver for $WINEPREFIX" >&2; exit 1; }
}

# A Wine program of the world's start, its output kept in STATE_DIR/up.err and counted.
world_wine() {
    local rc=0
    "$@" >/dev/null 2>"$state/up.err" < /dev/null || rc=$?
    printf 'wine-env.sh-up starts=1 loader_failures=%d\n' \
        "$(grep -c 'failed to map the shared user data' "$state/up.err" || true)" >> "$state/starts.log"
    return $rc
}

case "$action" in
up)
    if [ -f "$state/env.sh" ]; then
        . "$state/env.sh"
        if [ -n "${XVFB_PID:-}" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY
            start_persistent_server
            exit 0
        fi
    fi
    # A display number no other X server on this machine uses.
    for n in $(seq 80 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { disp=$n; break; }
    done
    setsid Xvfb ":$disp" -screen 0 "${CORVID_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp >"$state/xvfb.log" 2>&1 < /dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
    printf 'export DISPLAY=:%s XVFB_PID=%s\n' "$disp" "$xvfb_pid" > "$state/env.sh"
    rm -f "$state/starts.log" "$state/starts-summary.txt"
    export DISPLAY=":$disp"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating Wine prefix $WINEPREFIX"
        world_wine wineboot -i || { cat "$state/up.err"; exit 1; }
    fi
    start_persistent_server
    # The first Wine program of a server starts its services, which keep whatever
    # stdout they inherit open: start them here, on /dev/null, not in a test's pipe.
    world_wine wine cmd /c exit || true
    # No window manager runs here: Wine places, frames and maximises its windows itself,
    # so Windows coordinates are display coordinates for the screenshot tests.
    world_wine wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || cat "$state/up.err" >&2
    echo "Wine world up on DISPLAY=:$disp"
    ;;
down)
    if [ -f "$state/env.sh" ]; then
        . "$state/env.sh"
        wineserver -k 2>/dev/null || true
        [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
        rm -f "$state/env.sh"
    fi
    if [ -f "$state/starts.log" ]; then
        awk '{ for (i = 2; i <= NF; i++) { split($i, kv, "="); sum[kv[1]] += kv[2] } }
             END { printf "Wine programs started: %d; Wine'"'"'s loader failed to map the shared user data: %d\n",
                          sum["starts"], sum["loader_failures"] }' "$state/starts.log" | tee "$state/starts-summary.txt"
        rm -f "$state/starts.log"
    fi
    echo "Wine world down"
    ;;
run)
    . "$state/env.sh"
    export DISPLAY
    # A case run after the server went would start a passing one of its own.
    persistent_server || { echo "the Wine world of $state has lost its persistent wineserver" >&2; exit 1; }
    export CORVID_WINE_STATE="$state"
    exec "$@"
    ;;
*)
    echo "usage: $0 up|down|run STATE_DIR [CMD...]" >&2; exit 2 ;;
esac
