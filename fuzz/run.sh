#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/ and runs each for SECONDS from its seeds in fuzz/seeds/<name>, printing the
# executions a second of each. New inputs go to a scratch directory (on /dev/shm when there is
# one), never into the repository; a crash, leak, sanitizer report or hang stops the run with
# the input that caused it. Exits non-zero when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 SECONDS" >&2
    exit 2
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DSORVANE_FUZZ=ON -DSORVANE_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz

# New inputs and the targets' own files go to memory where there is a memory file system.
scratch_parent=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_parent=/dev/shm
scratch=$(mktemp -d "$scratch_parent/sorvane-fuzz-run-XXXXXX")
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
# The targets' own scratch directories go inside this one, so that a crashed target's files
# stay with its log and go with the rest after a clean run.
export TMPDIR=$scratch
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0

failed=()
for target in settings playlist keptqueue midi wave cdimage mp3 av cue rendezvous bus; do
    mkdir -p "$scratch/$target"
    echo "== fuzz_$target for ${seconds}s"
    if ! build-fuzz/bin/fuzz_"$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$scratch/$target-" \
        "$scratch/$target" "fuzz/seeds/$target" 2>"$scratch/$target.log"; then
        failed+=("$target")
        tail -n 60 "$scratch/$target.log"
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
        "$scratch/$target.log" || true
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing failed: ${failed[*]} (inputs and logs in $scratch)" >&2
    exit 1
fi
rm -rf "$scratch"
