#!/usr/bin/env bash
# Builds the libFuzzer programs (Clang, ASan + UBSan, in a build directory of their own) and runs each
# for a bounded time from a scratch copy of its seed corpus, several at once. Prints per target the
# executions, the coverage libFuzzer reports at the end and the crashes; exits non-zero on any crash,
# leak, time-out or out-of-memory input. Inputs that broke a target are kept under
# <build>/fuzz/artifacts/<target>/.
#
#   scripts/fuzz.sh                      # every target, 60 s each, 8 at once
#   BRAMIX_FUZZ_SECONDS=10 scripts/fuzz.sh changelog shortframe
#
# Settings: BRAMIX_FUZZ_SECONDS (per target), BRAMIX_FUZZ_PARALLEL (targets at once),
# BRAMIX_FUZZ_BUILD (build directory), BRAMIX_FUZZ_BUILD_JOBS (ninja -j).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${BRAMIX_FUZZ_SECONDS:-60}
parallel=${BRAMIX_FUZZ_PARALLEL:-8}
build=${BRAMIX_FUZZ_BUILD:-build-fuzz}
jobs=${BRAMIX_FUZZ_BUILD_JOBS:-$(nproc)}
corpus=tests/fuzz/corpus
dicts=$PWD/tests/fuzz/dict

bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRAMIX_FUZZ=ON -DBRAMIX_SANITIZE=ON \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
ninja -C "$build" -j"$jobs" fuzzers

bin="$build/fuzz/bin"
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for program in "$bin"/fuzz_*; do targets+=("$(basename "$program" | sed 's/^fuzz_//')"); done
fi

# Leaks count as failures here, whatever the surrounding test run set.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64:malloc_context_size=20
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The programs run from a copy in a scratch directory of their own; a memory file system keeps the
# store's flushed writes cheap.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

run="$build/fuzz/run"
artifacts="$build/fuzz/artifacts"
rm -rf "$run" "$artifacts"
mkdir -p "$run" "$artifacts"

fuzz_one() {
    local name=$1 dir="$run/$1"
    mkdir -p "$dir/corpus" "$dir/found"
    if [ -d "$corpus/$name" ]; then cp "$corpus/$name"/* "$dir/corpus/" 2>/dev/null || true; fi
    local rc=0 dict=()
    # A target may have a dictionary of tokens its inputs are made of.
    if [ -f "$dicts/$name.dict" ]; then dict=(-dict="$dicts/$name.dict"); fi
    timeout --kill-after=30 $((seconds + 120)) "$bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$dir/found/" "${dict[@]}" "$dir/corpus" >"$dir/log" 2>&1 || rc=$?
    echo "$rc" >"$dir/rc"
}

started=$(date +%s)
for name in "${targets[@]}"; do
    if [ ! -x "$bin/fuzz_$name" ]; then
        echo "no fuzz target $name" >&2
        exit 2
    fi
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
    fuzz_one "$name" &
done
wait

failed=0
printf '%-16s %12s %8s %8s\n' target executions cov crashes
for name in "${targets[@]}"; do
    dir="$run/$name"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -1 | sed 's/cov: //')
    # slow-unit-* files only mark inputs that ran long on a busy machine; they are not failures.
    found=$(find "$dir/found" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    rc=$(cat "$dir/rc")
    if [ "$found" -gt 0 ] || [ "$rc" != 0 ]; then
        failed=1
        mkdir -p "$artifacts/$name"
        cp "$dir/found"/* "$artifacts/$name/" 2>/dev/null || true
        cp "$dir/log" "$artifacts/$name/log"
        [ "$found" -gt 0 ] || found="exit $rc"
    fi
    printf '%-16s %12s %8s %8s\n' "$name" "${execs:-?}" "${cov:-?}" "$found"
done
echo "Fuzzing took $(($(date +%s) - started))s for ${#targets[@]} targets"
if [ $failed != 0 ]; then
    echo "Fuzzing found failures; inputs and logs are in $artifacts" >&2
    grep -h -m1 -E 'fuzz check failed|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
        "$artifacts"/*/log >&2 || true
    exit 1
fi
