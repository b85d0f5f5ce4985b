#!/usr/bin/env bash
# Builds ZELTO.EXE for distribution: an optimised, stripped build whose
# version resource reads "Zelto v3.16", put with the README into
# dist/zelto-3.16/ and into dist/zelto-3.16.zip, and prints their SHA-256.
#
#   bash scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=3.16
name=zelto-$version
build=build/release-win32
dist=dist

bash scripts/install-deps.sh

echo "release: building ZELTO.EXE in $build"
# Stripped by the linker (strip itself would stamp the file with the time),
# so the same sources give the same bytes.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-s \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target zelto -j "$(nproc)" >/dev/null || { echo "release: the build failed" >&2; exit 1; }

rm -rf "${dist:?}/$name" "$dist/$name.zip"
mkdir -p "$dist/$name"
cp "$build/ZELTO.EXE" "$dist/$name/ZELTO.EXE"
cp README.md "$dist/$name/README.md"
# The docs keep their folder, so the README's links and pictures work in the package.
cp -r docs "$dist/$name/docs"

# The file's version as the system shows it, read back from the stripped file.
exe=$dist/$name/ZELTO.EXE
strings -el "$exe" | grep -qx "Zelto v$version" || { echo "release: no version text \"Zelto v$version\" in $exe" >&2; exit 1; }
strings -el "$exe" | grep -qx "$version" || { echo "release: no version number $version in $exe" >&2; exit 1; }
if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' ||
  ! x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols'; then
  echo "release: $exe still carries symbols or debugging sections" >&2
  exit 1
fi
if x86_64-w64-mingw32-objdump -p "$exe" | grep -E '^\s*DLL Name:' | grep -qiv -E 'kernel32|user32|gdi32|comdlg32|shell32|ws2_32|winmm|advapi32|msvcrt|api-ms-win'; then
  echo "release: $exe needs a DLL that Windows does not bring:" >&2
  x86_64-w64-mingw32-objdump -p "$exe" | grep -E '^\s*DLL Name:' >&2
  exit 1
fi

(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")

echo "release: $dist/$name/ ($(stat -c %s "$exe") bytes ZELTO.EXE) and $dist/$name.zip"
(cd "$dist" && sha256sum "$name/ZELTO.EXE" "$name.zip")
