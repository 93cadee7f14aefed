#!/usr/bin/env bash
# Installs what is missing, builds Bramix and runs the whole test suite; then, while the time budget
# allows, builds again with AddressSanitizer and UndefinedBehaviorSanitizer and runs the suite again.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
start=$(date +%s)
budget=${BRAMIX_TEST_BUDGET:-4200}   # seconds; CI allows 5400 for everything

bash scripts/install-deps.sh
jobs=$(nproc)

passed=0
failed=0
run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j "$jobs"
    local log="$dir/ctest-summary.log"
    (cd "$dir" && ctest -j8 --output-on-failure --timeout 600) | tee "$log"
    # ctest's own summary: "N% tests passed, F tests failed out of T"
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$(( passed + total - bad ))
    failed=$(( failed + bad ))
}

run_suite build
elapsed=$(( $(date +%s) - start ))
echo "Plain build and tests took ${elapsed}s"

if [ "${BRAMIX_SKIP_SANITIZERS:-0}" != 1 ] && [ $elapsed -lt $(( budget / 3 )) ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite build-asan -DBRAMIX_SANITIZE=ON
    echo "Sanitizer build and tests took $(( $(date +%s) - start - elapsed ))s"
else
    echo "Sanitizer run skipped (BRAMIX_SKIP_SANITIZERS or time budget)"
fi

if [ -x scripts/fuzz.sh ] && [ "${BRAMIX_SKIP_FUZZ:-0}" != 1 ]; then
    left=$(( budget - ($(date +%s) - start) ))
    if [ $left -gt 600 ]; then
        bash scripts/fuzz.sh
    else
        echo "Fuzzing skipped (time budget)"
    fi
fi

echo "tests: ${passed} passed, ${failed} failed"
