#!/usr/bin/env bash
# Benchmark: file send of the Win32 build under Wine, COM1 a pseudo-terminal; the raw rate with no delay, the spacing achieved per byte against the per-byte delay, and the time from F6 to the last byte of a line (medians), in the lines that bench_filesend prints.
#
#   bash bench/wine_filesend.sh <windows-build-dir>
#
# Not part of the tests. Arrival times are taken at the device end
# (ptydev --stamps), on the clock that the program's performance counter
# counts under Wine. No window is opened, so no X display is needed.
set -uo pipefail
[ $# -eq 1 ] && [ -f "$1/wine_filesend.exe" ] || { echo "usage: $0 <windows-build-dir> (with wine_filesend.exe built)" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$build/wine-filesend
rm -rf "$out"
mkdir -p "$out"

device=
server=
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    # Every Wine process of this prefix (and only of it), then its server.
    timeout 20 wineserver -k >/dev/null 2>&1
    timeout 20 wineserver -w >/dev/null 2>&1
  fi
  [ -n "$server" ] && kill "$server" 2>/dev/null
  [ -n "$device" ] && kill "$device" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM
die() { echo "wine_filesend: $*" >&2; exit 1; }

g++ -std=c++20 -O2 -Wall -Wextra -o "$out/ptydev" "$root/tests/wine/tools/ptydev.cpp" -lutil || die "building ptydev failed"

export WINEPREFIX=$build/wineprefix-filesend WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout -k 5 180 wineboot -i >"$out/wineboot.log" 2>&1 </dev/null || die "wineboot failed (see $out/wineboot.log)"
  timeout 60 wineserver -w
fi

"$out/ptydev" --link "$out/link" --ctl "$out/ctl" --stamps "$out/stamps" --rx "$out/rx.bin" >"$out/ptydev.log" 2>&1 </dev/null &
device=$!
for _ in $(seq 100); do [ -s "$out/link" ] && break; sleep 0.02; done
[ -s "$out/link" ] || die "the device did not start"
pty=$(tr -d '\n' <"$out/link")

# The wineserver reads the port mapping when it starts.
timeout -k 5 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f >"$out/reg.log" 2>&1 </dev/null
timeout 20 wineserver -k >/dev/null 2>&1
timeout 20 wineserver -w >/dev/null 2>&1
wineserver -f -p >/dev/null 2>&1 </dev/null &
server=$!
# Wine makes its device links as its services start.
timeout -k 5 60 wine reg query 'HKLM\Software\Wine\Ports' /v COM1 >>"$out/reg.log" 2>&1 </dev/null
[ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$pty" ] || die "COM1 could not be mapped to $pty"

echo "Win32 file send under Wine, COM1 a pseudo-terminal; times taken at the device end"
# Wine writes only to a file: a Wine process that inherits a pipe would keep
# the reader of this script's output waiting.
(cd "$out" && timeout -k 5 180 wine "$build/wine_filesend.exe" "Z:$out/stamps" "Z:$out/rx.bin" >"$out/run.log" 2>&1 </dev/null)
rc=$?
tr -d '\r' <"$out/run.log"
[ $rc -eq 0 ] || die "wine_filesend.exe ended with code $rc (see $out/run.log)"
