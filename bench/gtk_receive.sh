#!/usr/bin/env bash
# Benchmark: the native program zelto receiving a device's lines at 230400 baud's rate, against picocom in an xterm receiving the same in the same run, and zelto idle: processor shares (medians) of the program, its terminal and the X server.
#
#   bash bench/gtk_receive.sh <native-build-dir> [SAMPLES] [SECONDS] [stamps|vt100]
#
# Not part of the tests. The device (a pseudo-terminal) sends text lines
# (76 characters, CR LF) paced at 23040 bytes a second, a few bytes each
# millisecond, as a line at 230400 baud carries them. Each display mode (raw; hex, where picocom shows
# every byte as hex too) is measured for zelto and then for picocom in
# xterm, in SAMPLES windows of SECONDS each (default 5 x 3 s), one after
# the other in one virtual X display; zelto also idle, connected to a
# device that sends nothing. A share of 100 % is one core. zelto's raw
# display is measured a second time with time stamps on (ZELTO.INI
# "timestamps = 1"); with "stamps" as the fourth argument only these two.
# With "vt100" instead: the raw display as above, then a coloured log (each
# line ESC [0;32m, 70 characters, ESC [0m CR LF) at the same rate, shown by
# zelto with VT100 emulation (ZELTO.INI "emulation = vt100") and by picocom
# in xterm; then 50 MB of random bytes and escape sequences
# (bench/vt_flood.py) sent to zelto in VT100 mode as fast as it takes them:
# its intake in MB/s and its resident memory every 2 s.
set -uo pipefail
[ $# -ge 1 ] && [ -x "$1/zelto" ] || { echo "usage: $0 <native-build-dir> [SAMPLES] [SECONDS]" >&2; exit 2; }
build=$(cd "$1" && pwd)
samples=${2:-5}
seconds=${3:-3}
out=$build/gtk-bench
rm -rf "$out"
mkdir -p "$out"
hz=$(getconf CLK_TCK)
ptydev=$build/tests/wine/tools/ptydev
[ -x "$ptydev" ] || { echo "gtk_receive: $ptydev missing (build the native tree)" >&2; exit 1; }
for tool in Xvfb picocom xterm xdotool bc; do
  command -v "$tool" >/dev/null || { echo "gtk_receive: $tool missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done

pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
export DISPLAY=:$(tr -d '\n' <"$out/display")
unset WAYLAND_DISPLAY
export NO_AT_BRIDGE=1

"$ptydev" --link "$out/link" --ctl "$out/ctl" --ack "$out/ack" --stats "$out/stats" --rx "$out/rx" >"$out/ptydev.log" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/link" ] && break; sleep 0.02; done
pty=$(tr -d '\n' <"$out/link")

ticks() {
  local p t=0
  for p in "$@"; do t=$((t + $(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null || echo 0))); done
  echo "$t"
}
stats() {
  local tok=stats-$(date +%s%N) t
  printf 'stats\nsync %s\n' "$tok" >"$out/ctl"
  for ((t = 0; t < 200; t++)); do grep -qx "$tok" "$out/ack" && break; sleep 0.01; done
  awk '{print $4}' "$out/stats"
}
median() { sort -n | awk '{a[NR] = $1} END {if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# measure LABEL PIDS...: SAMPLES windows; prints the medians of the
# programs' share (all PIDS together), the X server's and the bytes sent.
measure() {
  local label=$1 i p0 x0 b0 t0 p1 x1 b1 t1 el
  shift
  : >"$out/m.prog"; : >"$out/m.x"; : >"$out/m.rate"
  for ((i = 0; i < samples; i++)); do
    p0=$(ticks "$@") x0=$(ticks "$xvfb") b0=$(stats) t0=$(date +%s.%N)
    sleep "$seconds"
    p1=$(ticks "$@") x1=$(ticks "$xvfb") b1=$(stats) t1=$(date +%s.%N)
    el=$(echo "$t1 - $t0" | bc -l)
    echo "scale=2; 100 * ($p1 - $p0) / $hz / $el" | bc -l >>"$out/m.prog"
    echo "scale=2; 100 * ($x1 - $x0) / $hz / $el" | bc -l >>"$out/m.x"
    echo "scale=0; ($b1 - $b0) / $el" | bc -l >>"$out/m.rate"
  done
  local prog x
  prog=$(median <"$out/m.prog") x=$(median <"$out/m.x")
  printf '%-26s %8s B/s   program %6s %%   Xvfb %6s %%   together %6s %%\n' "$label" \
    "$(median <"$out/m.rate")" "$prog" "$x" "$(echo "$prog + $x" | bc -l)"
}

# The preset of a zelto in its own folder: the program's defaults, with hex
# display on or off.
preset() {
  local hex=$1
  {
    printf '\x0c\x01\x30\x00'
    printf "\\x$(printf %02x "$hex")"
    printf '\x00\x00\xf5\x07\x0e\x0a\x0d\x00\x00'
    printf '192.168.0.240'; head -c 19 /dev/zero
    printf '9000'; head -c 12 /dev/zero
    printf '8000'; head -c 12 /dev/zero
    printf 'Courier New'; head -c 21 /dev/zero
    head -c 520 /dev/zero
  }
}

# start_zelto LABEL HEX [INI-LINE]: zelto in a folder of its own with that
# preset and [terminal] option, connected; sets zelto (its process).
start_zelto() {
  local label=$1 hex=$2 app=$out/app-$1 t
  mkdir -p "$app"
  cp "$build/zelto" "$app/"
  preset "$hex" >"$app/ZELTO.SET"
  [ -n "${3:-}" ] && printf '[terminal]\n%s\n' "$3" >"$app/ZELTO.INI"
  : >"$out/ack"
  "$app/zelto" --com "1=$pty" >"$out/zelto-$label.log" 2>&1 </dev/null &
  zelto=$!
  for ((t = 0; t < 200; t++)); do grep -qx purge "$out/ack" && break; sleep 0.05; done
  grep -qx purge "$out/ack" || { echo "gtk_receive: zelto did not open COM1" >&2; kill "$zelto"; return 1; }
  sleep 2
}

run_zelto() {
  local label=$1 zelto
  start_zelto "$@" || return 1
  [ "$label" = raw ] && measure "zelto, $label, idle" "$zelto"
  echo "pace 23040" >"$out/ctl"
  sleep 1
  measure "zelto, $label, 230400 baud" "$zelto"
  echo "pace 0" >"$out/ctl"
  sleep 0.5
  kill "$zelto"
  wait "$zelto" 2>/dev/null
}

run_picocom() {
  local label=$1 imap=$2 t pico=
  xterm -geometry 80x33 -e picocom -q -b 230400 $imap "$pty" >"$out/xterm-$label.log" 2>&1 </dev/null &
  local xterm=$!
  for ((t = 0; t < 100; t++)); do
    pico=$(pgrep -P "$xterm" picocom | head -n 1)
    [ -n "$pico" ] && break
    sleep 0.05
  done
  [ -n "$pico" ] || { echo "gtk_receive: picocom did not start" >&2; kill "$xterm"; return 1; }
  sleep 2
  echo "pace 23040" >"$out/ctl"
  sleep 1
  measure "picocom+xterm, $label, 230400 baud" "$xterm" "$pico"
  echo "pace 0" >"$out/ctl"
  sleep 0.5
  kill "$pico" "$xterm" 2>/dev/null
  wait "$xterm" 2>/dev/null || true   # the reference ends by a kill: not a failure of the run
}

echo "zelto (GTK) against picocom in xterm, COM1 a pseudo-terminal sending lines at 23040 bytes/s;" \
  "medians of $samples windows of $seconds s; 100 % = one core"
# The hostile stream into zelto in VT100 mode, as fast as it takes it: the
# time until the device has sent it all, and zelto's resident size (VmRSS)
# every 2 s meanwhile.
run_flood() {
  local zelto t0 t1 sent=0 size rss=""
  python3 "$(dirname "$0")/vt_flood.py" "$out/flood.bin" "${VT_FLOOD_MB:-50}" || return 1
  size=$(stat -c %s "$out/flood.bin")
  start_zelto vt100-flood 0 "emulation = vt100" || return 1
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$zelto/status")
  local base
  base=$(stats)
  t0=$(date +%s.%N)
  echo "file $out/flood.bin" >"$out/ctl"
  # Meanwhile a key typed every 2 s, timed from the X server to the device.
  local win
  win=$(xdotool search --pid "$zelto" --name '^Zelto v3\.16$' 2>/dev/null | head -n 1)
  python3 "$(dirname "$0")/key_probe.py" "$win" "$out/rx" "${VT_KEY_SECONDS:-20}" >"$out/keys" 2>/dev/null &
  local probe=$!
  for ((t = 1; t <= 6000; t++)); do
    sleep 0.1
    ((t % 20)) || rss+=" $(awk '/VmRSS/ {print $2}' "/proc/$zelto/status" 2>/dev/null)"
    sent=$(($(stats) - base))
    [ "$sent" -ge "$size" ] && break
  done
  rss+=" $(awk '/VmRSS/ {print $2}' "/proc/$zelto/status" 2>/dev/null)"
  t1=$(date +%s.%N)
  wait "$probe"
  printf 'zelto, vt100, a key typed during the flood, to the device, ms (from the start of xdotool / from its return): %s\n' "$(cat "$out/keys")"
  printf 'zelto, vt100, %s-byte flood: %s MB/s (%s bytes in %s s); VmRSS kB every 2 s and at the end: %s\n' "$size" \
    "$(echo "scale=2; $sent / ($t1 - $t0) / 1000000" | bc -l)" "$sent" "$(echo "scale=1; ($t1 - $t0) / 1" | bc -l)" "$rss"
  kill "$zelto"
  wait "$zelto" 2>/dev/null
}

run_zelto raw 0
if [ "${4:-}" = vt100 ]; then
  # ESC [0;32m, 70 characters, ESC [0m CR LF: a coloured log line.
  printf 'line %s\n' "$(printf '\033[0;32mI (25907) wifi: connected to ap, channel 6, rssi -42 ip 192.168.4.2 ok\033[0m\r\n' |
    od -An -v -tx1 | tr -d ' \n')" >"$out/ctl"
  run_zelto vt100 0 "emulation = vt100"
  run_picocom coloured ""
  run_flood
  exit 0
fi
run_zelto raw-stamped 0 "timestamps = 1"
[ "${4:-}" = stamps ] && exit 0
run_picocom raw ""
run_zelto hex 1
run_picocom hex "--imap spchex,tabhex,crhex,lfhex,8bithex,nrmhex"
