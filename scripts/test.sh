#!/usr/bin/env bash
# Builds and runs every test of Zelto on a Debian machine:
#   1. the native build under AddressSanitizer + UndefinedBehaviorSanitizer,
#      every test;
#   2. the native build under ThreadSanitizer, the threaded tests;
#   3. the Windows build (MinGW-w64): the core, the Win32 layer and ZELTO.EXE,
#      and the Win32 tests under Wine;
#   4. the benchmarks build (Release) with the native program zelto, and
#      zelto's end-to-end cases under Xvfb (beside ZELTO.EXE for the preset
#      case);
#   5. the release: ZELTO.EXE, the zip, the setup program and the Debian
#      package, each tested once as a user installs it (tests/package/run.sh);
#      the fuzz targets for a bounded time, and static analysis (clang-tidy,
#      cppcheck).
# Ends with one line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh test || exit 1

jobs=$(nproc)
passed=0
failed=0
status=0

# Adds the counts from a ctest log ("NN% tests passed, N tests failed out of M").
count_ctest() {
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

stage() { echo; echo "==== $*"; }

stage "native build, ASan + UBSan"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELTO_SANITIZE=address >/dev/null &&
  cmake --build build/asan -j "$jobs" || { echo "native build failed"; exit 1; }
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure 2>&1 | tee build/asan/ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
count_ctest build/asan/ctest.log

stage "native build, TSan: threaded tests"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELTO_SANITIZE=thread >/dev/null &&
  cmake --build build/tsan -j "$jobs" || { echo "tsan build failed"; exit 1; }
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/tsan -L threaded -j "$jobs" --output-on-failure 2>&1 | tee build/tsan/ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
count_ctest build/tsan/ctest.log

stage "Windows build (MinGW-w64)"
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null &&
  cmake --build build/win32 -j "$jobs" || { echo "windows build failed"; exit 1; }

if [ -x tests/wine/run.sh ]; then
  stage "Win32 tests under Wine"
  tests/wine/run.sh build/win32 2>&1 | tee build/win32/wine.log
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  p=$(grep -cE '^PASS ' build/win32/wine.log)
  f=$(grep -cE '^FAIL ' build/win32/wine.log)
  passed=$((passed + p))
  failed=$((failed + f))
fi

stage "benchmarks build (Release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build build/release -j "$jobs" >/dev/null && { echo "PASS release_build"; passed=$((passed + 1)); } ||
  { echo "FAIL release_build"; failed=$((failed + 1)); }

if [ -x tests/gtk/run.sh ]; then
  stage "native program zelto (GTK) end to end"
  # run.sh says FAIL itself when zelto was not built (no GTK 3).
  tests/gtk/run.sh build/release build/win32 2>&1 | tee build/release/gtk.log
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  passed=$((passed + $(grep -cE '^PASS ' build/release/gtk.log)))
  failed=$((failed + $(grep -cE '^FAIL ' build/release/gtk.log)))
fi

stage "release: stripped ZELTO.EXE, the zip, the setup program, the Debian package"
if bash scripts/release.sh >build/release.log 2>&1; then
  echo "PASS release_package"
  passed=$((passed + 1))
  # The packages as built, once: the .deb in a throwaway root, the setup
  # program under Wine in a fresh prefix.
  tests/package/run.sh dist build/win32 2>&1 | tee build/package.log
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  passed=$((passed + $(grep -cE '^PASS ' build/package.log)))
  failed=$((failed + $(grep -cE '^FAIL ' build/package.log)))
else
  cat build/release.log
  echo "FAIL release_package"
  failed=$((failed + 1))
fi

stage "fuzzing (bounded)"
bash scripts/fuzz.sh "${ZELTO_FUZZ_SECONDS:-25}" 2>&1 | tee build/fuzz.log
passed=$((passed + $(grep -cE '^PASS ' build/fuzz.log)))
failed=$((failed + $(grep -cE '^FAIL ' build/fuzz.log)))

stage "static analysis"
if bash scripts/analyze.sh build/asan; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo
[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed"
exit $status
