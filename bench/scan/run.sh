#!/usr/bin/env bash
# Times the console's scan and forced push, each inside network namespaces made here (a user
# namespace maps us to root inside); nothing reaches the machine's own interfaces.
#
#   bench/scan/run.sh <build dir> [--console <build dir>] [step...]
#       steps: bridge list push hostile installed mix fill; all by default. --console takes the
#       console (BramixAdmin, its files and bramix-consolescan) of the installed and mix steps from
#       another build, to compare two builds against the same agents: run both, alternating.
#
# 1. A /24 with 20 agents: the console's namespace holds a bridge with 198.51.100.1/24; a second
#    namespace, joined to the bridge by a veth pair, holds 198.51.100.2-21 with one fake agent each.
#    The other 234 hosts are absent: their probes take the real 1000 ms connect wait.
# 2. 254 new clients into a list of 10,000: lo with 198.51.100.1/24 (the whole /24 answers locally),
#    fake agents on .1-.254, one on the console's own address; .255 is the broadcast address, which
#    no TCP connection reaches.
# 3. A forced push of 5 MiB to 1,000 fake agents on 127.0.1.1 and on (127/8 answers locally).
# 4. Hostile answers: lo with 198.51.100.1/24; 24 agents on .2-.25 each answering a real inventory of
#    just under 16 MiB (about 70,000 rows), one on .26 answering one block of 8.4 million "$", all at
#    once (BRAMIX_BENCH_HOSTILE_AGENTS and BRAMIX_BENCH_HOSTILE_MODE, e.g. real16, change the mix). The
#    console's peak RSS, and whether every listed client has a file that parses.
# 5. installed: the agents of step 4, scanned by the console as installed: scripts/install.sh admin
#    into a fresh directory, and bramix-consolescan started there, on every core and then on two,
#    with no variables set. Time to the console's end (and to the scan's, as it says it), peak RSS of
#    its process, agents found, and whether every agent is listed with a file that parses.
# 6. mix: as 5, with 12 agents that announce a 16 MiB answer and then send a byte every 20 s, 12 that
#    send 15 MiB of one at once and then a byte every 20 s, 24 with real 16 MiB answers and 20
#    ordinary ones (.2-.69). The slow ones end at the probes' deadline (120 s).
# 7. One client file filled from each kind of 16 MiB answer, without the network.
set -euo pipefail
build=$(cd "${1:?usage: run.sh <build dir> [--console <build dir>] [step...]}" && pwd)
shift
console_build=$build
if [ "${1:-}" = --console ]; then
    console_build=$(cd "${2:?--console needs a build dir}" && pwd)
    shift 2
fi
steps=${*:-bridge list push hostile installed mix fill}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
stage="$build/stage/bin"
export BRAMIX_SCAN_ADDRESS=198.51.100.1/24
export QT_QPA_PLATFORM=offscreen

# The console installed afresh and scanning the agents of bench_scan_agents <arguments>, on every core
# and on two.
scan_installed() {
    ip link set lo up
    ip addr add "$BRAMIX_SCAN_ADDRESS" dev lo
    coproc AGENTS { "$stage/bench_scan_agents" 198.51.100.2 "$@"; }
    read -r ready <&"${AGENTS[0]}"
    echo "agents: $ready ($*); console of $console_build"
    local cores dir
    for cores in 0 2; do
        dir=$(mktemp -d)
        bash "$top/scripts/install.sh" admin "$dir" "$console_build/stage/bin" >/dev/null
        cp "$console_build/tests/bin/bramix-consolescan" "$dir/"
        if [ $cores = 0 ]; then echo "every core ($(nproc)):"; else echo "$cores cores:"; fi
        echo "    $("$stage/bench_scan" console "$dir" $cores 2>"$dir/scan.err" || true)"
        sed -n 's/^bramix-consolescan: \(.*scaned,found.*\|scan .*\)/    \1/p' "$dir/scan.err"
        echo "    $("$stage/bench_scan" files "$dir" 198.51.100.2 "$@" || true)"
        rm -rf "$dir"
    done
    exec {AGENTS[1]}>&-
    cat <&"${AGENTS[0]}" >/dev/null
}

if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = bridge ]; then
    ip link set lo up
    ip link add br0 type bridge
    ip addr add "$BRAMIX_SCAN_ADDRESS" dev br0
    ip link set br0 up
    ip link add vc type veth peer name vp
    unshare -n sleep 600 &
    peer=$!
    sleep 0.2
    ip link set vp netns "$peer"
    ip link set vc master br0 up
    nsenter -t "$peer" -n sh -c 'ip link set lo up; ip link set vp up
        for i in $(seq 2 21); do ip addr add 198.51.100.$i/24 dev vp; done'
    # The agents' namespace keeps their standard input open until the scan is over.
    coproc AGENTS { nsenter -t "$peer" -n "$stage/bench_scan_agents" 198.51.100.2 20; }
    read -r ready <&"${AGENTS[0]}"
    echo "agents: $ready (in namespace of pid $peer)"
    # ARP first, so that the agents' neighbour entries are not part of the first probe's time.
    "$stage/bench_scan" scan
    "$stage/bench_scan" scan
    exec {AGENTS[1]}>&-
    cat <&"${AGENTS[0]}"
    kill "$peer"
    exit 0
fi
if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = list ]; then
    ip link set lo up
    ip addr add "$BRAMIX_SCAN_ADDRESS" dev lo
    coproc AGENTS { "$stage/bench_scan_agents" 198.51.100.1 254; }
    read -r ready <&"${AGENTS[0]}"
    echo "agents: $ready"
    "$stage/bench_scan" scan 10000
    exec {AGENTS[1]}>&-
    cat <&"${AGENTS[0]}"
    exit 0
fi
if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = push ]; then
    ip link set lo up
    coproc AGENTS { "$stage/bench_scan_agents" 127.0.1.1 1000; }
    read -r ready <&"${AGENTS[0]}"
    echo "agents: $ready"
    "$stage/bench_scan" push 127.0.1.1 1000 5
    exec {AGENTS[1]}>&-
    cat <&"${AGENTS[0]}"
    exit 0
fi

if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = hostile ]; then
    ip link set lo up
    ip addr add "$BRAMIX_SCAN_ADDRESS" dev lo
    coproc AGENTS { "$stage/bench_scan_agents" 198.51.100.2 "${BRAMIX_BENCH_HOSTILE_AGENTS:-25}" \
        "${BRAMIX_BENCH_HOSTILE_MODE:-hostile}"; }
    read -r ready <&"${AGENTS[0]}"
    echo "agents: $ready"
    "$stage/bench_scan" scan || echo "bench_scan: failed ($?)"
    exec {AGENTS[1]}>&-
    cat <&"${AGENTS[0]}"
    exit 0
fi
if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = installed ]; then
    scan_installed 24 real16 1 dollars
    exit 0
fi
if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = mix ]; then
    scan_installed 12 drip16 12 lure16 24 real16 20 short
    exit 0
fi
if [ "${BRAMIX_BENCH_SCAN_STEP:-}" = fill ]; then
    for kind in real16 dollars carets letters; do "$stage/bench_scan" fill $kind; done
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then flags=-n; else flags=-rn; fi
if ! unshare $flags true 2>/dev/null; then
    echo "no network namespaces here (unshare $flags refused): the scan is never timed in the machine's own" >&2
    exit 1
fi
for step in $steps; do
    echo "=== $step ==="
    BRAMIX_BENCH_SCAN_STEP=$step unshare $flags -- bash "$here/run.sh" "$build" --console "$console_build"
done
