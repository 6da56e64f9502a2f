#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test, runs the
# tests that start threads again under ThreadSanitizer, then runs each fuzz target briefly over its seed corpus when
# clang is present.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
# The benchmarks are built here too (not run) so that they keep building.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQORM_SANITIZE=ON -DQORM_BENCH=ON
cmake --build build/test -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/test --output-on-failure -j "$jobs" --timeout 600

# ThreadSanitizer: a build of its own that holds only the threaded test programs and the libraries they need.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQORM_TSAN=ON -DQORM_BENCH=OFF
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build/tsan -L threads --output-on-failure -j "$jobs" --timeout 600

if command -v clang++ >/dev/null && ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORM_FUZZ=ON \
    -DQORM_TESTS=OFF -DQORM_BENCH=OFF
  cmake --build build/fuzz -j "$jobs"
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    corpus="fuzz/corpus/$name"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    dict=()
    [ -f "fuzz/$name.dict" ] && dict=("-dict=fuzz/$name.dict")
    echo "fuzz: $name"
    # A fixed seed makes the run repeatable: a slower machine runs a prefix of the same inputs.
    "build/fuzz/fuzz/$name" -seed=1 -max_total_time="${QORM_FUZZ_SECONDS:-15}" -artifact_prefix="$work/" \
      -print_final_stats=0 "${dict[@]}" "$work" >"$work.log" 2>&1 ||
      { tail -n 40 "$work.log"; rm -rf "$work" "$work.log"; echo "fuzz: $name found a fault"; exit 1; }
    rm -rf "$work" "$work.log"
  done
fi
