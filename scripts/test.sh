#!/usr/bin/env bash
# Installs what is missing, builds Geodot twice (a normal build and one under AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs every test in both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
for variant in release asan; do
  dir=build-test-$variant
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  [[ $variant == asan ]] && flags=(-DCMAKE_BUILD_TYPE=Debug -DGEODOT_SANITIZE=ON)
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($variant build)"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
