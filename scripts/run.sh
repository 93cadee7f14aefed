#!/usr/bin/env bash
# Builds Bramix and runs its main job on this machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
echo "Built. (The system's services join this demo as they are built.)"
