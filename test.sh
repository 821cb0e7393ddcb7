#!/usr/bin/env bash
# Builds Sorvane and runs its whole test suite; exits non-zero on any failure.
#   ./test.sh             normal build (build/), with the formatting check
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   ./test.sh --tsan      ThreadSanitizer on the threaded tests (build-tsan/)
#   ./test.sh --fuzz SECONDS  builds the fuzz targets with clang (build-fuzz/) and runs each
#                         for SECONDS from its seeds in fuzz/seeds/
#   ./test.sh --hostile   the normal run with the full SoundFont as the system's default, one
#                         core kept busy and another locale (tests/hostile.sh)
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-}
[ "$mode" = --hostile ] && exec ./tests/hostile.sh
if [ "$mode" = --fuzz ]; then
    ./install-deps.sh --fuzz
else
    ./install-deps.sh
fi
jobs=$(nproc)
case "$mode" in
"")
    dir=build
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
    unformatted=$(git ls-files '*.h' '*.cpp' | xargs -r clang-format --dry-run 2>&1 | grep -c warning: || true)
    if [ "$unformatted" != 0 ]; then
        git ls-files '*.h' '*.cpp' | xargs -r clang-format --dry-run 2>&1 | grep warning: | cut -d: -f1 | sort -u
        echo "clang-format: the files above are not formatted" >&2
        exit 1
    fi
    ;;
--sanitize)
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=ON -DCMAKE_CXX_FLAGS=-O1)
    ;;
--tsan)
    dir=build-tsan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DSORVANE_TSAN=ON -DCMAKE_CXX_FLAGS=-O1)
    ;;
--fuzz)
    exec ./fuzz/run.sh "${2:-}"
    ;;
*)
    echo "usage: $0 [--sanitize|--tsan|--fuzz SECONDS|--hostile]" >&2
    exit 2
    ;;
esac

cmake -S . -B "$dir" -DSORVANE_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
ctest_args=(--test-dir "$dir" --output-on-failure -j "$jobs")
[ "$mode" = --tsan ] && ctest_args+=(-L threads)
ctest "${ctest_args[@]}"

# ctest runs every test in a process of its own; once more, each test binary runs all its
# tests in one process in a random order, so that tests that lean on one another show.
if [ -z "$mode" ]; then
    for binary in "$dir"/bin/*_tests; do
        echo "$(basename "$binary") --gtest_shuffle"
        QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$binary" --gtest_shuffle --gtest_brief=1
    done
fi
