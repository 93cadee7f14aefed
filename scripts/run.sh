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

# Bramix itself: the server side and a client installed into ./local, Inquix registered, both
# services started under the stand-in service manager, and this machine's inventory stored by the
# server. The client's first start sees an empty machine (a fixture tree without devices or
# packages). The console's own scan (bramix-consolescan: the console's main window offscreen, no
# dialogs) finds the client, lists it and makes its inventory file from the identity answer. The
# client's next start then sees the real machine: every device and package is an addition, and its
# change notice carries them all to the server, which stores them in the client's inventory file.
# All of it runs in a network namespace made for it (see the end of this file).
demo_bramix() {
    echo
    echo "=== Bramix: server and client on this machine ==="
    # shellcheck source=install.sh
    source "$top/scripts/install.sh"
    local srv="$top/local/server" cli="$top/local/client"
    local server="$srv/BramixServer" client="$cli/BramixClient"
    if [ ! -x "$stage/BramixClient" ] || [ ! -x "$top/build/tests/bin/bramix-consolescan" ]; then
        echo "(BramixClient or bramix-consolescan is not built: skipped)"
        return 0
    fi
    local p
    for p in "$client" "$server"; do # left by an earlier run
        if [ -x "$p" ]; then
            "$p" -t >/dev/null 2>&1 || true
            "$p" -u >/dev/null 2>&1 || true
        fi
    done
    rm -rf "$srv" "$cli" "$top/local/empty-machine"
    bramix_install_server "$srv" "$stage"
    bramix_install_client "$cli" "$stage"
    [ -x "$stage/BramixAdmin" ] && bramix_install_admin "$srv" "$stage"
    cp -f "$top/build/tests/bin/bramix-consolescan" "$srv/"
    mkdir -p "$top/local/empty-machine"
    echo "server side: $srv"; ls "$srv" | sed 's/^/    /'
    echo "client:      $cli"; ls "$cli" | sed 's/^/    /'
    local log="$BRAMIX_PLATFORM_ROOT/eventlog.txt"
    local before=0
    [ -f "$log" ] && before=$(wc -l <"$log")

    echo "\$ bramix-regsvr libInquix.so"; "$cli/bramix-regsvr" "$cli/libInquix.so"
    sed -i 's|<server>[^<]*</server>|<server>127.0.0.1</server>|; s|<server/>|<server>127.0.0.1</server>|' "$cli/set.xml"
    echo "client's server address: $(grep -o '<server>[^<]*</server>' "$cli/set.xml")"

    agent_up() {
        local i
        for i in $(seq 1 150); do # the agent listens once its start sequence is done
            (exec 3<>/dev/tcp/127.0.0.1/2211) 2>/dev/null && return 0
            sleep 0.2
        done
        echo "(the agent does not listen on 2211)"
    }

    echo "\$ BramixServer -i"; "$server" -i
    echo "\$ BramixServer";    "$server"
    wait_state "$server" running
    echo "\$ BramixClient -i"; "$client" -i
    echo "\$ BRAMIX_WMI_ROOT=local/empty-machine BramixClient   (first start: an empty machine)"
    BRAMIX_WMI_ROOT="$top/local/empty-machine" "$client"
    wait_state "$client" running
    agent_up

    echo "--- the console scans its subnet $BRAMIX_SCAN_ADDRESS: bramix-consolescan ---"
    local uuid
    uuid=$(cd "$srv" && ./bramix-consolescan | sed -n 1p | cut -d' ' -f1)
    echo "client $uuid listed in list.xml, inventory file $uuid.xml made"

    echo "--- the client's next start sees this machine and reports all of it ---"
    echo "\$ BramixClient -t"; "$client" -t
    wait_state "$client" "not running"
    echo "\$ BramixClient";    "$client"
    wait_state "$client" running
    local i
    for i in $(seq 1 150); do # until the server has applied the change notice
        grep -q "UUID=\"$uuid\"[^>]*notice=\"no\"\|notice=\"no\"[^>]*UUID=\"$uuid\"" "$srv/list.xml" && break
        sleep 0.2
    done
    echo "list.xml: $(grep -o "<pc [^>]*UUID=\"$uuid\"[^>]*>" "$srv/list.xml")"
    echo "--- the console's Details of the client, from $srv/$uuid.xml ($(wc -c <"$srv/$uuid.xml") bytes) ---"
    (cd "$srv" && ./bramix-consolescan --show "$uuid" | sed -n 1,40p)

    # The console itself on these files: in a window when there is a display, and as pictures of
    # each of its windows (EN, CN, JP) in any case.
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$srv/BramixAdmin" ] && [ "${BRAMIX_NO_WINDOW:-0}" != 1 ]; then
        echo "--- the console on this display (close its window to go on) ---"
        (cd "$srv" && ./BramixAdmin) || echo "(the console could not open a window here)"
    fi
    if [ -x "$top/build/tests/bin/bramix-screens" ]; then
        rm -rf "$top/local/screens"
        QT_QPA_PLATFORM=offscreen BRAMIX_STAGE_DIR="$top/build/stage" "$top/build/tests/bin/bramix-screens" "$top/local/screens" --from "$srv" \
            >"$top/local/screens.log" 2>&1 || echo "(some pictures failed: $top/local/screens.log)"
        echo "--- the console's windows on these files, as pictures: $top/local/screens ---"
        (cd "$top/local/screens" && find . -name '*.png' | sort | head -n 12 | sed 's/^/    /')
        echo "    ... $(find "$top/local/screens" -name '*.png' | wc -l) pictures in all"
    fi

    echo "--- stopping and uninstalling both services ---"
    "$client" -t
    wait_state "$client" "not running"
    "$client" -u
    "$server" -t
    wait_state "$server" "not running"
    "$server" -u
    "$cli/bramix-regsvr" -u "$cli/libInquix.so" >/dev/null || true
    echo "--- event log ($log), new lines ---"
    tail -n +"$((before + 1))" "$log"
}

# The console's scan never runs in this machine's own network: server, client and console run in a
# network namespace of their own holding only lo with 127.0.0.1 and 198.51.100.1/24 (no route to the
# rest of that /24, so the other 254 probes fail at once).
if [ "$(id -u)" -eq 0 ]; then netns=-n; else netns=-rn; fi
if unshare $netns true 2>/dev/null; then
    export top stage BRAMIX_PLATFORM_ROOT BRAMIX_SCAN_ADDRESS=198.51.100.1/24
    export -f wait_state demo_bramix
    unshare $netns -- bash -c 'set -euo pipefail; ip link set lo up
        ip addr add "$BRAMIX_SCAN_ADDRESS" dev lo noprefixroute; demo_bramix'
else
    echo
    echo "(no network namespace can be made here: the Bramix demo with the console's scan is skipped)"
fi
