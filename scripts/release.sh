#!/usr/bin/env bash
# Builds Zelto for distribution, with the version of app/version.h (3.16):
#   - ZELTO.EXE, optimised and stripped, whose version resource reads
#     "Zelto v3.16", put with the README and docs into dist/zelto-3.16/ and
#     dist/zelto-3.16.zip;
#   - dist/zelto-3.16-setup.exe, its Windows installer (NSIS);
#   - dist/zelto_3.16_amd64.deb, the Debian package of the native program,
#     checked by desktop-file-validate, appstreamcli and lintian
#     (scripts/package_deb.sh);
# and prints their SHA-256.
#
#   bash scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^#define ZELTO_VERSION "\(.*\)"$/\1/p' app/version.h)
[ -n "$version" ] || { echo "release: no version in app/version.h" >&2; exit 1; }
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
[ -f "$dist/$name/docs/guide.md" ] || { echo "release: the user guide docs/guide.md is missing" >&2; exit 1; }

# The file's version as the system shows it, read back from the stripped file.
exe=$dist/$name/ZELTO.EXE
strings -el "$exe" | grep -qx "Zelto v$version" || { echo "release: no version text \"Zelto v$version\" in $exe" >&2; exit 1; }
strings -el "$exe" | grep -qx "$version" || { echo "release: no version number $version in $exe" >&2; exit 1; }
if x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' ||
  ! x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols'; then
  echo "release: $exe still carries symbols or debugging sections" >&2
  exit 1
fi
if x86_64-w64-mingw32-objdump -p "$exe" | grep -E '^\s*DLL Name:' | grep -qiv -E 'kernel32|user32|gdi32|comdlg32|shell32|ole32|ws2_32|winmm|advapi32|setupapi|msvcrt|api-ms-win'; then
  echo "release: $exe needs a DLL that Windows does not bring:" >&2
  x86_64-w64-mingw32-objdump -p "$exe" | grep -E '^\s*DLL Name:' >&2
  exit 1
fi

(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "release: $dist/$name/ ($(stat -c %s "$exe") bytes ZELTO.EXE) and $dist/$name.zip"

# The installer, from the same folder's files.
setup=$dist/$name-setup.exe
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSRC="$root/$dist/$name" -DOUT="$root/$setup" \
  -DSIZE_KB="$(du -k -s "$dist/$name" | cut -f1)" packaging/zelto.nsi >"$build/makensis.log" 2>&1 ||
  { cat "$build/makensis.log" >&2; echo "release: makensis failed" >&2; exit 1; }
echo "release: $setup ($(stat -c %s "$setup") bytes)"

# shellcheck source=scripts/package_deb.sh
source scripts/package_deb.sh
deb_build

(cd "$dist" && sha256sum "$name/ZELTO.EXE" "$name.zip" "$name-setup.exe" zelto_"${version}"_*.deb)
