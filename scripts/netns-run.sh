#!/usr/bin/env bash
# Runs a command in a fresh network namespace with only the loopback interface up.
# As root `unshare -n` suffices; otherwise a user namespace maps us to root inside.
set -euo pipefail
if [ "${BRAMIX_IN_NETNS:-}" = 1 ]; then
    ip link set lo up
    exec "$@"
fi
export BRAMIX_IN_NETNS=1
if [ "$(id -u)" -eq 0 ]; then
    exec unshare -n -- "$0" "$@"
fi
exec unshare -rn -- "$0" "$@"
