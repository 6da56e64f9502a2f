#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQORM_SANITIZE=ON -DQORM_BENCH=OFF
cmake --build build/test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 600

# Each fuzz target once over its seed corpus, when clang is there to build them.
if command -v clang++ >/dev/null 2>&1; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQORM_FUZZ=ON -DQORM_TESTS=OFF -DQORM_BENCH=OFF
  cmake --build build/fuzz -j "$jobs"
  for target in build/fuzz/fuzz/*_fuzz; do
    name=$(basename "$target")
    if [ -d "fuzz/corpus/$name" ]; then
      "$target" -runs=0 "fuzz/corpus/$name"
    fi
  done
fi
