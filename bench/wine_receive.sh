#!/usr/bin/env bash
# Benchmark: ZELTO.EXE under Wine receiving from a COM1 device, idle, at the line's rate and as fast as it can, against picocom in xterm on the same kind of device; bytes per second taken in, the processor shares of ZELTO.EXE, the X server and the wineserver (medians), and how long Erase Screen and an echoed key take to reach the screen.
#
#   bash bench/wine_receive.sh <windows-build-dir> [SAMPLES] [SECONDS] [vt100]
#
# Not part of the tests. Each configuration (raw display, hex display) is
# measured idle (the device sends nothing), paced (80-character lines ending
# in CR LF at 230400 baud, 23040 bytes a second, a few bytes each
# millisecond as the line delivers them) and flooding (the same lines as
# fast as the line takes them), in SAMPLES windows of SECONDS each (default
# 5 x 3 s). A share of 100 % is one core; "total" is the sum of the
# processes named, per window. The reference is picocom inside xterm under
# the same X server, on a device paced alike. Runs in a virtual X display
# with the program in a Wine desktop window, as the end-to-end tests do.
# With local echo on (the raw configuration's preset), the times from
# Erase Screen with a full screen, and from a typed key with the view
# scrolled to the top, to the frame on the screen (the caret at its new
# place) are taken SAMPLES times each. With "vt100": the raw display paced,
# then a coloured log (each line ESC [0;32m, 70 characters, ESC [0m CR LF)
# paced alike with VT100 emulation on (ZELTO.INI "emulation = vt100") and
# shown by picocom in xterm, and 50 MB of random bytes and escape sequences
# (bench/vt_flood.py) in VT100 mode as fast as ZELTO.EXE takes them: its
# intake and its resident memory every 2 s.
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

# measure LABEL NAME PID NAME PID ...: SAMPLES windows; prints the medians
# of the device's rate and of each process's share, and of their total.
measure() {
  local label=$1 i j el b0 b1 t0 t1 total
  shift
  local -a names=() procs=() before=()
  while [ $# -ge 2 ]; do names+=("$1"); procs+=("$2"); shift 2; done
  : >"$out/m.rate"; : >"$out/m.total"
  for j in "${!names[@]}"; do : >"$out/m.$j"; done
  for ((i = 0; i < samples; i++)); do
    for j in "${!procs[@]}"; do before[$j]=$(ticks "${procs[$j]}"); done
    b0=$(stats) t0=$(date +%s.%N)
    sleep "$seconds"
    b1=$(stats) t1=$(date +%s.%N)
    el=$(echo "$t1 - $t0" | bc -l)
    total=0
    for j in "${!procs[@]}"; do
      share=$(echo "scale=2; 100 * ($(ticks "${procs[$j]}") - ${before[$j]}) / $hz / $el" | bc -l)
      echo "$share" >>"$out/m.$j"
      total=$(echo "$total + $share" | bc -l)
    done
    echo "$total" >>"$out/m.total"
    echo "scale=0; ($b1 - $b0) / $el" | bc -l >>"$out/m.rate"
  done
  local line
  line=$(printf '%-26s %12s B/s ' "$label" "$(median <"$out/m.rate")")
  for j in "${!names[@]}"; do line+=$(printf '  %s %6s %%' "${names[$j]}" "$(median <"$out/m.$j")"); done
  line+=$(printf '   total %6s %%' "$(median <"$out/m.total")")
  echo "$line"
}
# zelto_measure LABEL PID: ZELTO.EXE with the X server and the wineserver.
zelto_measure() { measure "$1" ZELTO.EXE "$2" Xvfb "$xvfb" wineserver "$server"; }

# latency LABEL MS-LIMIT PROBE-ARGS...: the probe's caret-after, SAMPLES
# times with SETUP (a shell function named in $setup) before each; the median.
latency() {
  local label=$1 i r
  shift
  : >"$out/m.lat"
  for ((i = 1; i <= samples; i++)); do
    "$setup" "$i"
    r=$(wine "$probe" caret-after "$@" 2>/dev/null </dev/null)
    echo "$r" >>"$out/latency.log"
    case $r in *ok=1*) sed -nE 's/.* ms=([0-9.]+).*/\1/p' <<<"$r" >>"$out/m.lat" ;; esac
  done
  printf '%-40s median %8s ms  (%s of %s reached the screen)\n' "$label" "$(median <"$out/m.lat")" \
    "$(wc -l <"$out/m.lat")" "$samples"
}
# A full screen from the device: 200 lines, the cursor on row 127.
fill_screen() {
  local i text=""
  for ((i = 0; i < 200; i++)); do text+="line $i of a full screen"$'\r\n'; done
  printf 'send %s\n' "$(printf '%s' "$text" | od -An -v -tx1 | tr -d ' \n')" >"$out/ctl"
  sleep 1.5
}
setup_erase() { fill_screen; }
# The view at the grid's top with the cursor on row 127: the thumb where
# the history above the grid ends (the bar's range less the grid's own,
# 128 rows less the view's height); WM_VSCROLL, SB_THUMBPOSITION.
setup_echo() {
  [ "$1" = 1 ] && fill_screen
  local w vmax h top
  w=$(wine "$probe" window 2>/dev/null </dev/null)
  vmax=$(sed -nE 's/.* vmax=([0-9]+).*/\1/p' <<<"$w")
  h=$(sed -nE 's/.* clienth=([0-9]+).*/\1/p' <<<"$w")
  top=$((vmax - (128 * celly - h)))
  [ "$top" -lt 0 ] && top=0
  wine "$probe" send 0x115 $((4 | (top << 16))) 0 >/dev/null 2>&1 </dev/null
  sleep 0.5
}

# run_config LABEL HEXPRINT [INI-LINE [paced|flood]]: ZELTO.EXE with that
# preset and [terminal] option; with "paced" only the paced windows, with
# "flood" only the flood of bench/vt_flood.py.
run_config() {
  local label=$1 hexprint=$2 app=$out/app-$1 t cx cy
  mkdir -p "$app"
  cp "$build/ZELTO.EXE" "$app/"
  [ -n "${3:-}" ] && printf '[terminal]\r\n%s\r\n' "$3" >"$app/ZELTO.INI"
  # A preset like the program's defaults, with local echo on and the display
  # mode asked for.
  cx=$(sed -nE 's/.*cxvscroll=([0-9]+).*/\1/p' "$out/metrics") cy=$(sed -nE 's/.*cyhscroll=([0-9]+).*/\1/p' "$out/metrics")
  {
    printf '\x0c\x01\x30\x01'
    printf "\\x$(printf %02x "$hexprint")"
    printf '\x00\x00'
    printf "\\x$(printf %02x $(((3 - cy) & 255)))\\x$(printf %02x $((cx / 2)))\\x$(printf %02x "$cy")"
    printf '\x0a\x0d\x00\x00'
    printf '192.168.0.240'; head -c 19 /dev/zero
    printf '9000'; head -c 12 /dev/zero
    printf '8000'; head -c 12 /dev/zero
    printf 'Courier New'; head -c 21 /dev/zero
    head -c 520 /dev/zero
  } >"$app/ZELTO.SET"
  : >"$out/ack"
  (cd "$app" && exec wine ZELTO.EXE) >"$out/zelto-$label.log" 2>&1 </dev/null &
  local zelto=$!
  for ((t = 0; t < 200; t++)); do grep -qx purge "$out/ack" && break; sleep 0.05; done
  grep -qx purge "$out/ack" || { echo "wine_receive: ZELTO.EXE did not open COM1" >&2; return 1; }
  sleep 2
  if [ "${4:-}" = flood ]; then
    flood "$zelto"
  elif [ "${4:-}" = paced ]; then
    echo "pace 23040" >"$out/ctl"
    sleep 1
    zelto_measure "$label, device paced" "$zelto"
    echo "pace 0" >"$out/ctl"
  else
    run_all "$label" "$hexprint" "$zelto"
  fi
  wine "$probe" post 0x10 0 0 >/dev/null 2>&1 </dev/null
  wait "$zelto"
}

# flood PID: the hostile stream as fast as the program takes it; the time
# until the device has sent it all, the resident size every 2 s, and as
# often how long the window takes to answer a typed key (the probe sends
# WM_CHAR and times it).
flood() {
  local zelto=$1 t t0 t1 sent=0 size base rss keyms=
  size=$(stat -c %s "$out/flood.bin")
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$zelto/status")
  base=$(stats)
  t0=$(date +%s.%N)
  echo "file $out/flood.bin" >"$out/ctl"
  for ((t = 1; t <= 6000; t++)); do
    sleep 0.1
    if ! ((t % 20)); then
      rss+=" $(awk '/VmRSS/ {print $2}' "/proc/$zelto/status" 2>/dev/null)"
      keyms+=" $(wine "$probe" send 0x102 0x6b 0 2>/dev/null </dev/null | sed -nE 's/.*ms=([0-9.]+).*/\1/p')"
    fi
    sent=$(($(stats) - base))
    [ "$sent" -ge "$size" ] && break
  done
  t1=$(date +%s.%N)
  rss+=" $(awk '/VmRSS/ {print $2}' "/proc/$zelto/status" 2>/dev/null)"
  printf 'vt100, %s-byte flood: %s MB/s (%s bytes in %s s); VmRSS kB every 2 s and at the end: %s; a key answered in ms: %s\n' \
    "$size" "$(echo "scale=2; $sent / ($t1 - $t0) / 1000000" | bc -l)" "$sent" "$(echo "scale=1; ($t1 - $t0) / 1" | bc -l)" \
    "$rss" "$keyms"
}

run_all() {
  local label=$1 hexprint=$2 zelto=$3
  zelto_measure "$label, idle" "$zelto"
  echo "pace 23040" >"$out/ctl"
  sleep 1
  zelto_measure "$label, device paced" "$zelto"
  echo "pace 0" >"$out/ctl"
  echo "flood 1" >"$out/ctl"
  sleep 1
  zelto_measure "$label, device flooding" "$zelto"
  echo "flood 0" >"$out/ctl"
  sleep 0.5
  if [ "$hexprint" = 0 ]; then
    local cellx celly
    cellx=$(sed -nE 's/.*cellx=([0-9]+).*/\1/p' "$out/metrics") celly=$(sed -nE 's/.*celly=([0-9]+).*/\1/p' "$out/metrics")
    # WM_COMMAND 332; the caret goes home, one pixel right of the cell.
    setup=setup_erase latency "Erase Screen, full screen" 0x111 332 0 1 0 5000
    # WM_CHAR 'k': echoed on row 127, which the view brings up to its 33rd row.
    setup=setup_echo latency "echoed key, view at the top" 0x102 0x6b 0 -1 $((32 * celly)) 5000
  fi
}

# picocom in xterm on the same device, paced alike; xterm as tall as
# ZELTO.EXE's window.
run_reference() {
  local term pico t label=${1:-}
  xterm -geometry 80x36 -e picocom -q -b 230400 "$pty" >"$out/xterm.log" 2>&1 </dev/null &
  term=$!
  pids+=($term)
  for ((t = 0; t < 100; t++)); do pico=$(pgrep -P "$term" picocom) && break; sleep 0.05; done
  [ -n "$pico" ] || { echo "wine_receive: picocom did not start" >&2; return 1; }
  sleep 2
  echo "pace 23040" >"$out/ctl"
  sleep 1
  measure "picocom in xterm, device paced${label:+, $label}" picocom "$pico" xterm "$term" Xvfb "$xvfb"
  echo "pace 0" >"$out/ctl"
  kill "$term" 2>/dev/null
  wait "$term" 2>/dev/null || true   # the reference ends by a kill: not a failure of the run
}

wine "$probe" metrics >"$out/metrics" 2>&1 </dev/null
echo "ZELTO.EXE under Wine, COM1 a pseudo-terminal; medians of $samples windows of $seconds s; 100 % = one core"
if [ "${4:-}" = vt100 ]; then
  python3 "$root/bench/vt_flood.py" "$out/flood.bin" "${VT_FLOOD_MB:-50}" || exit 1
  run_config raw 0 "" paced
  # ESC [0;32m, 70 characters, ESC [0m CR LF: a coloured log line.
  printf 'line %s\n' "$(printf '\033[0;32mI (25907) wifi: connected to ap, channel 6, rssi -42 ip 192.168.4.2 ok\033[0m\r\n' |
    od -An -v -tx1 | tr -d ' \n')" >"$out/ctl"
  run_config vt100 0 "emulation = vt100" paced
  run_config vt100-flood 0 "emulation = vt100" flood
  sleep 2
  run_reference coloured
  exit 0
fi
run_config raw 0
run_config hex 1
# The reference after ZELTO.EXE has ended and Wine has settled.
sleep 2
run_reference
