#!/usr/bin/env bash
# Benchmark: ZELTO.EXE under Wine receiving from a COM1 device that writes as fast as it can, and idle; bytes per second taken in and the processor shares of ZELTO.EXE, the X server and the wineserver (medians).
#
#   bash bench/wine_receive.sh <windows-build-dir> [SAMPLES] [SECONDS]
#
# Not part of the tests. Each configuration (raw display, hex display) is
# measured idle (the device sends nothing) and flooding (the device writes
# 80-character lines ending in CR LF as fast as the line takes them), in
# SAMPLES windows of SECONDS each (default 5 x 3 s). A share of 100 % is
# one core. Runs in a virtual X display with the program in a Wine desktop
# window, as the end-to-end tests do.
set -uo pipefail
[ $# -ge 1 ] && [ -f "$1/ZELTO.EXE" ] || { echo "usage: $0 <windows-build-dir> [SAMPLES] [SECONDS]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
samples=${2:-5}
seconds=${3:-3}
out=$build/wine-bench
rm -rf "$out"
mkdir -p "$out"
hz=$(getconf CLK_TCK)

pids=()
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && { wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; }
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

g++ -std=c++20 -O2 -o "$out/ptydev" "$root/tests/wine/tools/ptydev.cpp" -lutil || exit 1
probe=$build/winprobe.exe
[ -f "$probe" ] || { echo "wine_receive: $probe missing (build the Windows tree)" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
export DISPLAY=:$(tr -d '\n' <"$out/display")

export WINEPREFIX=$build/wineprefix-bench WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >"$out/wineboot.log" 2>&1 </dev/null
  wineserver -w
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
fi

"$out/ptydev" --link "$out/link" --ctl "$out/ctl" --ack "$out/ack" --stats "$out/stats" \
  >"$out/ptydev.log" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/link" ] && break; sleep 0.02; done
pty=$(tr -d '\n' <"$out/link")

wineserver -f -p >/dev/null 2>&1 </dev/null &
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f >"$out/reg.log" 2>&1
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d zelto /f >>"$out/reg.log" 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v zelto /d 1024x768 /f >>"$out/reg.log" 2>&1
wineserver -k
wineserver -w
wineserver -f -p >/dev/null 2>&1 </dev/null &
server=$!

ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# stats: the bytes the device has sent so far. The device acknowledges the
# request with a token, so the count read is the one just written.
stats() {
  local tok=stats-$(date +%s%N) t
  printf 'stats\nsync %s\n' "$tok" >"$out/ctl"
  for ((t = 0; t < 200; t++)); do grep -qx "$tok" "$out/ack" && break; sleep 0.01; done
  awk '{print $4}' "$out/stats"
}
median() { sort -n | awk '{a[NR] = $1} END {if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# measure LABEL PID: SAMPLES windows; prints the medians.
measure() {
  local label=$1 zelto=$2 i z0 x0 s0 b0 t0 z1 x1 s1 b1 t1 el
  : >"$out/m.zelto"; : >"$out/m.x"; : >"$out/m.server"; : >"$out/m.rate"
  for ((i = 0; i < samples; i++)); do
    z0=$(ticks "$zelto") x0=$(ticks "$xvfb") s0=$(ticks "$server") b0=$(stats) t0=$(date +%s.%N)
    sleep "$seconds"
    z1=$(ticks "$zelto") x1=$(ticks "$xvfb") s1=$(ticks "$server") b1=$(stats) t1=$(date +%s.%N)
    el=$(echo "$t1 - $t0" | bc -l)
    echo "scale=2; 100 * ($z1 - $z0) / $hz / $el" | bc -l >>"$out/m.zelto"
    echo "scale=2; 100 * ($x1 - $x0) / $hz / $el" | bc -l >>"$out/m.x"
    echo "scale=2; 100 * ($s1 - $s0) / $hz / $el" | bc -l >>"$out/m.server"
    echo "scale=0; ($b1 - $b0) / $el" | bc -l >>"$out/m.rate"
  done
  printf '%-22s %12s B/s   ZELTO.EXE %6s %%   Xvfb %6s %%   wineserver %6s %%\n' "$label" \
    "$(median <"$out/m.rate")" "$(median <"$out/m.zelto")" "$(median <"$out/m.x")" "$(median <"$out/m.server")"
}

run_config() {
  local label=$1 hexprint=$2 app=$out/app-$1 t
  mkdir -p "$app"
  cp "$build/ZELTO.EXE" "$app/"
  if [ "$hexprint" = 1 ]; then
    # A preset like the program's defaults, with hex display on.
    local cx cy
    cx=$(sed -nE 's/.*cxvscroll=([0-9]+).*/\1/p' "$out/metrics") cy=$(sed -nE 's/.*cyhscroll=([0-9]+).*/\1/p' "$out/metrics")
    {
      printf '\x0c\x01\x30\x00\x01\x00\x00'
      printf "\\x$(printf %02x $(((3 - cy) & 255)))\\x$(printf %02x $((cx / 2)))\\x$(printf %02x "$cy")"
      printf '\x0a\x0d\x00\x00'
      printf '192.168.0.240'; head -c 19 /dev/zero
      printf '9000'; head -c 12 /dev/zero
      printf '8000'; head -c 12 /dev/zero
      printf 'Courier New'; head -c 21 /dev/zero
      head -c 520 /dev/zero
    } >"$app/ZELTO.SET"
  fi
  : >"$out/ack"
  (cd "$app" && exec wine ZELTO.EXE) >"$out/zelto-$label.log" 2>&1 </dev/null &
  local zelto=$!
  for ((t = 0; t < 200; t++)); do grep -qx purge "$out/ack" && break; sleep 0.05; done
  grep -qx purge "$out/ack" || { echo "wine_receive: ZELTO.EXE did not open COM1" >&2; return 1; }
  sleep 2
  measure "$label, idle" "$zelto"
  echo "flood 1" >"$out/ctl"
  sleep 1
  measure "$label, device flooding" "$zelto"
  echo "flood 0" >"$out/ctl"
  sleep 0.5
  wine "$probe" post 0x10 0 0 >/dev/null 2>&1 </dev/null
  wait "$zelto"
}

wine "$probe" metrics >"$out/metrics" 2>&1 </dev/null
echo "ZELTO.EXE under Wine, COM1 a pseudo-terminal; medians of $samples windows of $seconds s; 100 % = one core"
run_config raw 0
run_config hex 1
