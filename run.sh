#!/usr/bin/env bash
# Installs what is missing, makes a release build and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQORM_TESTS=OFF
cmake --build build/release -j "$(nproc)"
exec ./build/release/shell/qorm "$@"
