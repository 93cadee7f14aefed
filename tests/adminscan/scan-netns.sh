#!/usr/bin/env bash
# Runs a test in a fresh network namespace that holds only lo, with 127.0.0.1 and one test address
# whose /24 answers locally (BRAMIX_SCAN_ADDRESS, default 198.51.100.1/24), so the console's scan
# reaches nothing but what the test binds there. Without user namespaces the test runs marked so
# that its scan tests skip: it never scans the machine's own namespace.
set -euo pipefail
export BRAMIX_SCAN_ADDRESS=${BRAMIX_SCAN_ADDRESS:-198.51.100.1/24}
if [ "${BRAMIX_SCAN_NETNS:-}" = inside ]; then
    ip link set lo up
    ip addr add "$BRAMIX_SCAN_ADDRESS" dev lo
    export BRAMIX_SCAN_NETNS=1
    exec "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    flags=-n
else
    flags=-rn
fi
if ! unshare $flags true 2>/dev/null; then
    export BRAMIX_SCAN_NETNS="none:unshare $flags is not permitted here"
    exec "$@"
fi
export BRAMIX_SCAN_NETNS=inside
exec unshare $flags -- "$0" "$@"
