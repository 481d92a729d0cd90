#!/usr/bin/env bash
# Runs the whole test suite three ways: an optimised build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the threaded
# tests (suites named *Threaded*) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

step() { printf '\n==== %s\n' "$*"; }

step "Release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs"

step "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELTRANE_SANITIZE=address,undefined -DVELTRANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

step "ThreadSanitizer over the threaded tests"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELTRANE_SANITIZE=thread -DVELTRANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R Threaded

step "OSC dispatcher under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer (60 s)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELTRANE_SANITIZE=address,undefined -DVELTRANE_FUZZ=ON \
  -DVELTRANE_BUILD_TESTS=OFF -DVELTRANE_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target osc_fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
# Standard output (the server's one line per bad message) is closed.
VELTRANE_RESOURCES="$PWD/resources" ./build-fuzz/tests/fuzz/osc_fuzz \
  -max_total_time=60 -close_fd_mask=1 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
