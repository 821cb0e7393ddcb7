#!/usr/bin/env bash
# Builds and starts the player.
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -f app/main.cpp ]; then
    echo "Sorvane: the player window is not built yet." >&2
    exit 1
fi
./install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target sorvane
exec build/bin/sorvane "$@"
