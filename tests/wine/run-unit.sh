#!/usr/bin/env bash
# Runs the Wine unit suite, and counts the start in the world's starts.log (see
# wine-env.sh). A program that Wine's loader ended before it ran is reported as such.
set -u
exe=$1
out=$(WINEDEBUG=-all,err+all wine "$exe" 2>&1)
rc=$?
printf '%s\n' "$out"
failures=0
if printf '%s' "$out" | grep -q 'failed to map the shared user data'; then
    failures=1
    echo "Wine's loader failed to map the shared user data before $exe ran"
elif ! printf '%s' "$out" | grep -q '^\[==========\] Running'; then
    echo "wine did not start $exe (exit $rc)"
fi
[ -n "${CORVID_WINE_STATE:-}" ] &&
    printf 'wine.unit starts=1 loader_failures=%d\n' $failures >> "$CORVID_WINE_STATE/starts.log"
exit $rc
