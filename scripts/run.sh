#!/usr/bin/env bash
# Builds Bramix and runs its main job on this machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

# Everything the demos install lives under ./local; the stand-in service manager and event log keep
# their state in ./local/platform instead of the machine-wide or per-user location.
export BRAMIX_PLATFORM_ROOT="$top/local/platform"
mkdir -p "$BRAMIX_PLATFORM_ROOT"
stage="$top/build/stage/bin"

# Waits up to 10 s until the program's -v output says "$2" ("running" / "not running").
wait_state() {
    local prog=$1 want=$2
    for _ in $(seq 1 50); do
        if "$prog" -v | grep -q "and $want\$"; then
            return 0
        fi
        sleep 0.2
    done
    echo "(still not $want after 10 s)"
}

# Service host: the test service installed, started, paused, resumed, stopped and uninstalled
# through its own command line, then its event-log lines.
demo_service_host() {
    echo
    echo "=== Service host: test service ==="
    local dir="$top/local/demo"
    local prog="$dir/bxtestservice"
    mkdir -p "$dir"
    cp -f "$stage/bxtestservice" "$stage/libadvapi32.so" "$dir/"
    export BXTEST_FLAGS=suspend # lets the service be paused and resumed
    local log="$BRAMIX_PLATFORM_ROOT/eventlog.txt"
    local before=0
    [ -f "$log" ] && before=$(wc -l <"$log")

    if "$prog" -v | grep -q "and running\$"; then
        "$prog" -t || true # left running by an earlier demo
    fi
    "$prog" -u >/dev/null 2>&1 || true
    echo "\$ bxtestservice -i"; "$prog" -i
    echo "\$ bxtestservice";    "$prog"
    wait_state "$prog" running
    echo "\$ bxtestservice -v"; "$prog" -v
    echo "\$ bxtestservice -p"; "$prog" -p
    echo "\$ bxtestservice -r"; "$prog" -r
    echo "\$ bxtestservice -c 2"; "$prog" -c 2
    echo "\$ bxtestservice -t"; "$prog" -t
    wait_state "$prog" "not running"
    echo "\$ bxtestservice -v"; "$prog" -v
    echo "\$ bxtestservice -u"; "$prog" -u
    unset BXTEST_FLAGS
    echo "--- event log ($log), new lines ---"
    tail -n +"$((before + 1))" "$log"
}

demo_service_host
