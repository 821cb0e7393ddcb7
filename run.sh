#!/usr/bin/env bash
# Builds and starts the player; arguments go to the player.
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target sorvane
exec build/bin/sorvane "$@"
