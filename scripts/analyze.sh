#!/usr/bin/env bash
# Static analysis: clang-tidy (.clang-tidy) and cppcheck over the portable
# core and both platform layers. Needs the native ASan build's
# compile_commands.json (scripts/test.sh makes it). Exit status 0 when clean.
set -uo pipefail
cd "$(dirname "$0")/.."
db=${1:-build/asan}
status=0

core=$(git ls-files 'app/*.cpp' 'settings/*.cpp' 'display/*.cpp' 'link/*.cpp' 'transfer/*.cpp' 'platform/posix/*.cpp' 'platform/gtk/*.cpp' |
  grep -v '_win32\.cpp$')
win=$(git ls-files 'platform/win32/*.cpp')
mingw=/usr/lib/gcc/x86_64-w64-mingw32/$(ls /usr/lib/gcc/x86_64-w64-mingw32 | grep win32 | head -n 1)/include/c++

echo "clang-tidy: portable core, POSIX layer and GTK front end"
# Its output goes to a file first: piped straight into grep, a failing
# clang-tidy would make the whole pipeline fail and hide what it found.
findings() { grep -E '(warning|error):' "$1"; }
tidy_out=$(mktemp)
trap 'rm -f "$tidy_out"' EXIT
clang-tidy -p "$db" --quiet $core >"$tidy_out" 2>&1 || status=1
findings "$tidy_out" && status=1
echo "clang-tidy: Win32 layer"
for f in $win; do
  clang-tidy --quiet "$f" -- --target=x86_64-w64-mingw32 -I. -isystem "$mingw" -isystem "$mingw/x86_64-w64-mingw32" \
    -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -std=c++20 >"$tidy_out" 2>&1 || status=1
  findings "$tidy_out" && status=1
done

echo "cppcheck"
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr --std=c++20 -I . \
  --suppress=missingIncludeSystem --quiet $core $win || status=1

[ "$status" -eq 0 ] && echo "static analysis clean" || echo "static analysis found problems"
exit $status
