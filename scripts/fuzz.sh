#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and AddressSanitizer and runs each
# for SECONDS (default 60). Exits non-zero when a target finds a fault.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
[ -f "$build/build.ninja" ] || CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVEX_FUZZ=ON -DTOLVEX_BENCH=OFF
cmake --build "$build" -j2
status=0
for bin in "$build"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus="$root/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name (${seconds}s)"
  if ! "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="$build/$name-" "$corpus" 2>"$build/$name.log"; then
    tail -n 40 "$build/$name.log"
    status=1
  else
    tail -n 1 "$build/$name.log"
  fi
done
exit $status
