#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) and runs each for a bounded
# time from its seed corpus in fuzz/corpus/<name>. A crash leaves its input
# in build/fuzz/crashes/ and fails the run. Usage: scripts/fuzz.sh [seconds]
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-25}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZELTO_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build build/fuzz -j "$(nproc)" >/dev/null || {
  echo "FAIL fuzz_build"
  exit 1
}
mkdir -p build/fuzz/crashes
status=0
for bin in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$bin")
  seeds=fuzz/corpus/${name#fuzz_}
  work=build/fuzz/work/$name
  mkdir -p "$work"
  if "$bin" -max_total_time="$secs" -timeout=10 -artifact_prefix=build/fuzz/crashes/"$name"- "$work" "$seeds" \
    >build/fuzz/"$name".log 2>&1; then
    echo "PASS $name ($(grep -o 'Done [0-9]* runs' build/fuzz/"$name".log | tail -n 1))"
  else
    echo "FAIL $name (see build/fuzz/$name.log)"
    status=1
  fi
done
exit $status
