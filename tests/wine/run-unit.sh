#!/usr/bin/env bash
# Runs the Wine unit suite. When Wine itself fails to start the program (no test
# output at all, seen now and then right after other Wine programs end), it is
# started once more; a run that reached the tests is never repeated.
set -u
exe=$1
for attempt in 1 2; do
    out=$(wine "$exe" 2>&1)
    rc=$?
    printf '%s\n' "$out"
    if printf '%s' "$out" | grep -q '^\[==========\] Running'; then
        exit $rc
    fi
    echo "wine did not start $exe (exit $rc, attempt $attempt)"
    sleep 2
done
exit 1
