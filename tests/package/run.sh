#!/usr/bin/env bash
# Tests the packages that scripts/release.sh built: the Debian package installed into a throwaway root, and the Windows installer under Wine in a fresh prefix.
#
#   tests/package/run.sh <dist-dir> <windows-build-dir>
#
# The .deb: dpkg unpacks it into a root of its own (dpkg --root: the same
# unpacking and file checks as on a machine, without touching this one's
# /usr); apt answers whether its dependencies resolve here; the installed
# zelto answers --version and --list, and started in a virtual display keeps
# its settings in the user's folder, not in its own.
# The setup program: installs silently, the installed ZELTO.EXE starts, Save
# Setup writes to %APPDATA%\Zelto\ while Program Files\Zelto is read-only (a
# read-only mount in a mount namespace of its own: root writes anywhere
# else), and the uninstaller removes what was installed.
# Prints "PASS name" / "FAIL name: detail" per check and "N passed, N failed".
set -uo pipefail

if [ $# -lt 2 ] || [ ! -d "$1" ]; then
  echo "usage: $0 <dist-dir> <windows-build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(cd "$1" && pwd)
winbuild=$(cd "$2" && pwd)
version=$(sed -n 's/^#define ZELTO_VERSION "\(.*\)"$/\1/p' "$root/app/version.h")
work=$winbuild/package-test
rm -rf "$work"
mkdir -p "$work"

passed=0
failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1${2:+: $2}"; failed=$((failed + 1)); }
check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then pass "$name"; else fail "$name" "$detail"; fi
}

# ---- the Debian package
deb=$(ls "$dist"/zelto_"$version"_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail deb_built "no zelto_${version}_*.deb in $dist"
else
  apt-get install -s "$deb" >"$work/apt.log" 2>&1
  check deb_dependencies_resolve "$(tail -n 3 "$work/apt.log")" grep -q "^Inst zelto ($version" "$work/apt.log"
  r=$work/root
  mkdir -p "$r/var/lib/dpkg/updates" "$r/var/lib/dpkg/info"
  : >"$r/var/lib/dpkg/status"
  # Its libraries are this machine's: the throwaway root holds only zelto.
  dpkg --root="$r" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1
  check deb_installs "$(tail -n 3 "$work/dpkg.log")" \
    grep -q "^Package: zelto" <(dpkg --root="$r" -s zelto 2>/dev/null)
  z=$r/usr/bin/zelto
  check deb_zelto_version "$("$z" --version 2>&1)" test "$("$z" --version 2>&1)" = "zelto $version"
  # A DEVICE alone is COM1's.
  out=$("$z" --list /dev/null/one --com 3=/dev/null/three 2>&1)
  check deb_zelto_list "$out" grep -qE '^(Serial devices found|No serial device found)' <<<"$out"
  check deb_zelto_list_names_ports "$out" bash -c 'grep -qE "^  /dev/null/one +COM1  does not exist$" <<<"$0" &&
    grep -qE "^  /dev/null/three +COM3  does not exist$" <<<"$0"' "$out"
  # Every option of --help is in the manual page.
  missing=
  for o in $("$z" --help | grep -oE -- '--[a-z]+' | sort -u); do
    zcat "$r/usr/share/man/man1/zelto.1.gz" | grep -qF -- "\\-\\-${o#--}" || missing+=" $o"
  done
  check deb_man_page_has_every_option "it lacks$missing" test -z "$missing"

  # Started from /usr/bin, as root, it makes its folder in the user's
  # configuration folder and writes nothing beside itself.
  if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    before=$(ls -A "$r/usr/bin")
    mkdir -p "$work/home"
    HOME=$work/home XDG_CONFIG_HOME= NO_AT_BRIDGE=1 DISPLAY=:$(tr -d '\n' <"$work/display") \
      "$z" --com 1=/dev/null/none >"$work/zelto.log" 2>&1 </dev/null &
    zpid=$!
    for _ in $(seq 100); do [ -d "$work/home/.config/zelto" ] && break; sleep 0.05; done
    check deb_zelto_keeps_files_in_the_users_folder "" test -d "$work/home/.config/zelto"
    check deb_zelto_writes_nothing_beside_itself "$(ls -A "$r/usr/bin")" test "$(ls -A "$r/usr/bin")" = "$before"
    kill "$zpid" "$xvfb" 2>/dev/null
    wait "$zpid" "$xvfb" 2>/dev/null
  fi
fi

# ---- the setup program under Wine
setup=$dist/zelto-$version-setup.exe
if [ ! -f "$setup" ] || ! command -v wine >/dev/null || [ ! -f "$winbuild/winprobe.exe" ]; then
  fail setup_testable "needs $setup, Wine and $winbuild/winprobe.exe"
else
  # Everything Wine does happens inside the mount namespace, the wineserver
  # (which opens the files) included.
  unshare -m --propagation private bash "$root/tests/package/setup_wine.sh" "$setup" "$winbuild/winprobe.exe" \
    "$work/wine" "$version" >"$work/setup.log" 2>&1
  while IFS= read -r line; do
    case $line in
      "PASS "*) pass "${line#PASS }" ;;
      "FAIL "*) fail "${line#FAIL }" ;;
    esac
  done <"$work/setup.log"
  grep -q '^PASS setup_uninstalls' "$work/setup.log" || tail -n 20 "$work/setup.log" | sed 's/^/  setup.log: /' 
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
