#!/usr/bin/env bash
# Runs every benchmark of Zelto in one run on this machine, with an
# established serial terminal (picocom) beside it as the reference, and
# writes bench/README.md: each figure as the median of the runs, its goal,
# and where there is one the ratio to the reference.
#
#   bash bench/report.sh [RUNS]     (default 3 runs of each harness)
#   bash bench/report.sh --rewrite  (the report again from the kept output)
#
# The raw output of every run is kept in build/bench-report/. Takes about
# ten minutes; close other work first, the figures are only as quiet as the
# machine.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rewrite=0
if [ "${1:-}" = --rewrite ]; then
  rewrite=1   # only writes the report again from the kept output
  shift
fi
runs=${1:-3}
out=$root/build/bench-report
figures=$out/figures   # "key value" per line, one line per run and figure
if [ "$rewrite" = 0 ]; then
  rm -rf "$out"
  mkdir -p "$out"
  bash scripts/install-deps.sh || exit 1
fi

if [ "$rewrite" = 0 ]; then
  echo "report: building the native benchmarks (Release) in build/release"
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/release -j "$(nproc)" >/dev/null || { echo "report: the native build failed" >&2; exit 1; }
  echo "report: building ZELTO.EXE in build/win32-release"
  cmake -S . -B build/win32-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null &&
    cmake --build build/win32-release -j "$(nproc)" >/dev/null || { echo "report: the Windows build failed" >&2; exit 1; }
fi

# ---- figures from the harnesses' own lines
# num LINE-PATTERN FIELD-PATTERN FILE: the first number captured.
num() { grep -E "$1" "$3" | head -n 1 | sed -nE "s|.*$2.*|\1|p"; }
put() { [ -n "$2" ] && echo "$1 $2" >>"$figures"; }

# Google Benchmark shows rates in units of 1024; the goals are in MB/s.
mbps() {
  local line v unit
  line=$(grep -E "^$1/.*_median" "$2" | head -n 1)
  v=$(sed -nE 's/.*bytes_per_second=([0-9.]+)([kMG])\/s.*/\1/p' <<<"$line")
  unit=$(sed -nE 's/.*bytes_per_second=([0-9.]+)([kMG])\/s.*/\2/p' <<<"$line")
  [ -n "$v" ] || return
  case $unit in
    k) echo "$v * 1024 / 1000000" | bc -l ;;
    M) echo "$v * 1048576 / 1000000" | bc -l ;;
    G) echo "$v * 1073741824 / 1000000" | bc -l ;;
  esac
}

parse_screen() {
  put screen.raw "$(mbps BM_WriteRaw "$1")"
  put screen.hex "$(mbps BM_WriteHex "$1")"
  put screen.short "$(mbps BM_WriteRawShortLines "$1")"
}
parse_serial() {
  put serial.tx50 "$(num '^sendCommByte' 'p50 +([0-9.]+) us' "$1")"
  put serial.tx99 "$(num '^sendCommByte' 'p99 +([0-9.]+) us' "$1")"
  put serial.rx50 "$(num '^device -> gabScreen' 'p50 +([0-9.]+) us' "$1")"
  put serial.rx99 "$(num '^device -> gabScreen' 'p99 +([0-9.]+) us' "$1")"
  put serial.grid "$(num '^receive into the grid' 'grid +([0-9.]+) MB/s' "$1")"
  put serial.plain "$(num '^receive into the grid' 'line +([0-9.]+) MB/s' "$1")"
  put serial.idle "$(num '^idle connected worker' 'worker +([0-9.]+) %' "$1")"
  put serial.allocs "$(num 'heap allocations' '\) +([0-9]+) heap' "$1")"
}
parse_udp() {
  put udp.rt50 "$(num '^typed byte' 'p50 +([0-9.]+) us' "$1")"
  put udp.rt99 "$(num '^typed byte' 'p99 +([0-9.]+) us' "$1")"
  put udp.paced "$(num '^into the grid, at most' 'waiting +([0-9.]+) datagrams' "$1")"
  put udp.pacedmb "$(num '^into the grid, at most' 'datagrams/s +([0-9.]+) MB/s' "$1")"
  put udp.pacedlost "$(num '^into the grid, at most' 'lost ([0-9]+) of' "$1")"
  put udp.plain "$(num '^plain reader' 'sender +([0-9.]+) datagrams' "$1")"
  put udp.unpaced "$(num '^into the grid, sender unpaced' 'unpaced +([0-9.]+) datagrams' "$1")"
  put udp.unpacedlost "$(num '^into the grid, sender unpaced' 'lost ([0-9]+) of' "$1")"
  put udp.idle "$(num '^idle connected worker' 'worker +([0-9.]+) %' "$1")"
  put udp.write "$(num '^WriteDISPLAYBlock' 'bytes +([0-9.]+) us' "$1")"
}
# Native and Win32 file send print alike; $2 is the key prefix.
parse_filesend() {
  put "$2.raw" "$(num 'raw send, delay 0 ' 'median +([0-9.]+) bytes/s' "$1")"
  put "$2.same" "$(num 'raw send, delay 0, 230400 baud' 'identical +([0-9]+) of' "$1")"
  put "$2.d1" "$(num 'raw send, delay +1 ms' 'median +([0-9.]+) ms per byte' "$1")"
  put "$2.d2" "$(num 'raw send, delay +2 ms' 'median +([0-9.]+) ms per byte' "$1")"
  put "$2.d10" "$(num 'raw send, delay 10 ms' 'median +([0-9.]+) ms per byte' "$1")"
  put "$2.f6" "$(num '^F6 to last byte' 'median +([0-9.]+) ms' "$1")"
}
parse_reference() {
  put ref.zidle "$(num '^idle processor share' 'zelto +([0-9.]+) %' "$1")"
  put ref.pidle "$(num '^idle processor share' 'picocom +([0-9.]+) %' "$1")"
  put ref.zmb "$(num '^receive throughput' 'zelto +([0-9.]+) MB/s' "$1")"
  put ref.pmb "$(num '^receive throughput' 'picocom +([0-9.]+) MB/s' "$1")"
}
# The native program against picocom in xterm: "together" is the program's
# share (with its terminal) and the X server's.
parse_gtk_receive() {
  local cfg line
  line=$(grep -E '^zelto, raw, idle ' "$1" | head -n 1)
  [ -n "$line" ] && put gtk.idle "$(sed -nE 's/.*program +([0-9.]+) %.*/\1/p' <<<"$line")"
  for cfg in raw hex; do
    line=$(grep -E "^zelto, $cfg, 230400 baud " "$1" | head -n 1)
    if [ -n "$line" ]; then
      put "gtk.$cfg.rate" "$(sed -nE 's/.* ([0-9.]+) B\/s.*/\1/p' <<<"$line")"
      put "gtk.$cfg.prog" "$(sed -nE 's/.*program +([0-9.]+) %.*/\1/p' <<<"$line")"
      put "gtk.$cfg.x" "$(sed -nE 's/.*Xvfb +([0-9.]+) %.*/\1/p' <<<"$line")"
      put "gtk.$cfg.all" "$(sed -nE 's/.*together +([0-9.]+) %.*/\1/p' <<<"$line")"
    fi
    line=$(grep -E "^picocom\+xterm, $cfg, 230400 baud " "$1" | head -n 1)
    [ -n "$line" ] && put "gtk.$cfg.ref" "$(sed -nE 's/.*together +([0-9.]+) %.*/\1/p' <<<"$line")"
  done
}
parse_wine_receive() {
  local cfg state key line
  for cfg in raw hex; do
    for state in idle "device paced" "device flooding"; do
      key=wine.$cfg.${state##* }
      line=$(grep -E "^$cfg, $state " "$1" | head -n 1)
      [ -n "$line" ] || continue
      put "$key.rate" "$(sed -nE 's/.* ([0-9.]+) B\/s.*/\1/p' <<<"$line")"
      put "$key.zelto" "$(sed -nE 's/.*ZELTO\.EXE +([0-9.]+) %.*/\1/p' <<<"$line")"
      put "$key.x" "$(sed -nE 's/.*Xvfb +([0-9.]+) %.*/\1/p' <<<"$line")"
      put "$key.server" "$(sed -nE 's/.*wineserver +([0-9.]+) %.*/\1/p' <<<"$line")"
      put "$key.total" "$(sed -nE 's/.*total +([0-9.]+) %.*/\1/p' <<<"$line")"
    done
  done
  line=$(grep -E '^picocom in xterm, device paced ' "$1" | head -n 1)
  if [ -n "$line" ]; then
    put wine.ref.rate "$(sed -nE 's/.* ([0-9.]+) B\/s.*/\1/p' <<<"$line")"
    put wine.ref.pico "$(sed -nE 's/.*picocom +([0-9.]+) %.*/\1/p' <<<"$line")"
    put wine.ref.xterm "$(sed -nE 's/.*xterm +([0-9.]+) %.*/\1/p' <<<"$line")"
    put wine.ref.x "$(sed -nE 's/.*Xvfb +([0-9.]+) %.*/\1/p' <<<"$line")"
    put wine.ref.total "$(sed -nE 's/.*total +([0-9.]+) %.*/\1/p' <<<"$line")"
  fi
  put wine.erase "$(num '^Erase Screen, full screen' 'median +([0-9.]+) ms' "$1")"
  put wine.echo "$(num '^echoed key, view at the top' 'median +([0-9.]+) ms' "$1")"
}

# run NAME COMMAND...: one run, its output kept as NAME.txt.
run() {
  local name=$1 log
  shift
  log=$out/$name.txt
  echo "report: $name"
  if ! timeout 900 "$@" >"$log" 2>&1; then
    echo "report: $name failed (see $log)" >&2
    echo "$name" >>"$out/failed"
  fi
}

if [ "$rewrite" = 0 ]; then
  run screen build/release/bench/bench_screen
  for ((i = 1; i <= runs; i++)); do
    run "serial.$i" build/release/bench/bench_serial
    run "udp.$i" build/release/bench/bench_udp
    run "filesend.$i" build/release/bench/bench_filesend
    run "reference.$i" build/release/bench/bench_reference
  done
  run wine_receive bash bench/wine_receive.sh build/win32-release 5 3
  [ -x build/release/zelto ] && run gtk_receive bash bench/gtk_receive.sh build/release 5 3
  if [ -f bench/wine_filesend.sh ]; then
    for ((i = 1; i <= runs; i++)); do run "winfilesend.$i" bash bench/wine_filesend.sh build/win32-release; done
  fi
fi

: >"$figures"
for log in "$out"/*.txt; do
  [ -f "$log" ] || continue
  name=$(basename "$log" .txt)
  grep -qx "$name" "$out/failed" 2>/dev/null && continue
  case ${name%%.*} in
    screen) parse_screen "$log" ;;
    serial) parse_serial "$log" ;;
    udp) parse_udp "$log" ;;
    filesend) parse_filesend "$log" filesend ;;
    winfilesend) parse_filesend "$log" winfilesend ;;
    reference) parse_reference "$log" ;;
    wine_receive) parse_wine_receive "$log" ;;
    gtk_receive) parse_gtk_receive "$log" ;;
  esac
done
runs=$(find "$out" -name 'serial.*.txt' | wc -l)

# ---- medians and the report
# med KEY: the median of the runs' values, or "n/a".
med() {
  local v
  v=$(awk -v k="$1" '$1 == k {print $2}' "$figures" | sort -g |
    awk '{a[NR] = $1} END {if (NR == 0) exit; if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}')
  echo "${v:-n/a}"
}
# fmt DECIMALS VALUE
fmt() { [ "$2" = n/a ] && echo n/a || printf "%.${1}f" "$2"; }
# ratio A B DECIMALS: A / B, or n/a.
ratio() {
  if [ "$1" = n/a ] || [ "$2" = n/a ]; then echo n/a; return; fi
  if [ "$(echo "$2 == 0" | bc -l)" = 1 ]; then echo "none (the reference measured 0)"; return; fi
  printf "%.${3:-2}f" "$(echo "$1 / $2" | bc -l)"
}
# meets EXPRESSION: "met" or "missed" (bc, values substituted), n/a when a value is missing.
meets() {
  case $1 in *n/a*) echo n/a; return ;; esac
  [ "$(echo "$1" | bc -l)" = 1 ] && echo met || echo "**missed**"
}

sraw=$(med screen.raw) shex=$(med screen.hex) sshort=$(med screen.short)
tx99=$(med serial.tx99) rx99=$(med serial.rx99) tx50=$(med serial.tx50) rx50=$(med serial.rx50)
grid=$(med serial.grid) plain=$(med serial.plain) sidle=$(med serial.idle) allocs=$(med serial.allocs)
rt50=$(med udp.rt50) rt99=$(med udp.rt99) paced=$(med udp.paced) pacedmb=$(med udp.pacedmb)
pacedlost=$(med udp.pacedlost) uplain=$(med udp.plain) unpaced=$(med udp.unpaced) unpacedlost=$(med udp.unpacedlost)
uidle=$(med udp.idle) uwrite=$(med udp.write)
fraw=$(med filesend.raw) fsame=$(med filesend.same) wsame=$(med winfilesend.same) f1=$(med filesend.d1) f2=$(med filesend.d2) f10=$(med filesend.d10) f6=$(med filesend.f6)
wraw=$(med winfilesend.raw) w1=$(med winfilesend.d1) w2=$(med winfilesend.d2) w10=$(med winfilesend.d10)
w6=$(med winfilesend.f6)
zidle=$(med ref.zidle) pidle=$(med ref.pidle) zmb=$(med ref.zmb) pmb=$(med ref.pmb)
wri=$(med wine.raw.idle.zelto) wrix=$(med wine.raw.idle.x) wris=$(med wine.raw.idle.server)
wrf=$(med wine.raw.flooding.rate) wrfz=$(med wine.raw.flooding.zelto) wrfx=$(med wine.raw.flooding.x)
wrfs=$(med wine.raw.flooding.server)
whi=$(med wine.hex.idle.zelto) whix=$(med wine.hex.idle.x) whis=$(med wine.hex.idle.server)
whf=$(med wine.hex.flooding.rate) whfz=$(med wine.hex.flooding.zelto) whfx=$(med wine.hex.flooding.x)
whfs=$(med wine.hex.flooding.server)
wrp=$(med wine.raw.paced.rate) wrpz=$(med wine.raw.paced.zelto) wrpx=$(med wine.raw.paced.x)
wrps=$(med wine.raw.paced.server) wrpt=$(med wine.raw.paced.total)
whp=$(med wine.hex.paced.rate) whpz=$(med wine.hex.paced.zelto) whpx=$(med wine.hex.paced.x)
whps=$(med wine.hex.paced.server) whpt=$(med wine.hex.paced.total)
wref=$(med wine.ref.rate) wrefp=$(med wine.ref.pico) wrefxt=$(med wine.ref.xterm) wrefx=$(med wine.ref.x)
wreft=$(med wine.ref.total)
werase=$(med wine.erase) wecho=$(med wine.echo)
# The flood goal: five times what ZELTO.EXE took in before frame-paced painting.
floodgoal=$((5 * 176562))
gidle=$(med gtk.idle)
grr=$(med gtk.raw.rate) grp=$(med gtk.raw.prog) grx=$(med gtk.raw.x) gra=$(med gtk.raw.all) grref=$(med gtk.raw.ref)
ghr=$(med gtk.hex.rate) ghp=$(med gtk.hex.prog) ghx=$(med gtk.hex.x) gha=$(med gtk.hex.all) ghref=$(med gtk.hex.ref)

pbytes=n/a
[ "$pmb" = n/a ] || pbytes=$(echo "$pmb * 1000000" | bc -l)
cpu=$(lscpu 2>/dev/null | sed -nE 's/^Model name: +//p' | head -n 1)
{
  cat <<EOF
# Zelto performance report

Made by \`bash bench/report.sh $runs\` in one run on one machine, $(date -u '+%Y-%m-%d %H:%M UTC'):
${cpu:-unknown processor}, $(nproc) cores, Linux $(uname -r), Debian $(cat /etc/debian_version 2>/dev/null),
$(g++ --version | head -n 1), $(x86_64-w64-mingw32-g++-win32 --version 2>/dev/null | head -n 1), $(wine --version 2>/dev/null).
Each figure is the median of $runs runs of its harness (the screen model: of 5
repetitions; under Wine: of 5 windows of 3 s); the raw output of every run is
in \`build/bench-report/\`. A processor share of 100 % is one core. The
reference is picocom from Debian on the same kind of pseudo-terminal, in the
same run. The fastest serial rate Zelto offers, 230400 baud, carries
0.023 MB/s.

## Figures and goals

| Figure | Goal | Median | Ratio | |
|---|---|---|---|---|
| Screen model, raw display | at least 200 MB/s | $(fmt 1 "$sraw") MB/s | | $(meets "$sraw >= 200") |
| Screen model, hex display | at least 60 MB/s | $(fmt 1 "$shex") MB/s | | $(meets "$shex >= 60") |
| Screen model, raw display, short lines (a carriage return every 10 bytes) | at least half the long-line figure before frame-paced painting (323.7 MB/s) | $(fmt 1 "$sshort") MB/s | $(ratio "$sshort" 323.7) of that figure; $(ratio "$sshort" "$sraw") of this run's long-line figure | $(meets "$sshort >= 323.7 / 2") |
| Serial: \`sendCommByte\` to the device, p50 / p99 | p99 under 2 ms | $(fmt 1 "$tx50") / $(fmt 1 "$tx99") µs | | $(meets "$tx99 < 2000") |
| Serial: device to \`gabScreen\`, p50 / p99 | p99 under 2 ms | $(fmt 1 "$rx50") / $(fmt 1 "$rx99") µs | | $(meets "$rx99 < 2000") |
| Serial: receive into the grid | keeps up with the line | $(fmt 1 "$grid") MB/s | $(ratio "$grid" "$plain") of a plain reader ($(fmt 1 "$plain") MB/s) | $(meets "$grid > 0.023") |
| Serial: idle connected worker | under 2 % | $(fmt 2 "$sidle") % | | $(meets "$sidle < 2") |
| Serial: heap allocations, 10 000 bytes both ways | none | $allocs | | $(meets "$allocs == 0") |
| Reference: idle processor share, Zelto / picocom | | $(fmt 2 "$zidle") % / $(fmt 2 "$pidle") % | $(ratio "$zidle" "$pidle") | |
| Reference: receive throughput, Zelto / picocom | | $(fmt 1 "$zmb") / $(fmt 1 "$pmb") MB/s | $(ratio "$zmb" "$pmb") | |
| UDP: typed byte to echo peer and back, p50 / p99 | p99 under 2 ms | $(fmt 1 "$rt50") / $(fmt 1 "$rt99") µs | | $(meets "$rt99 < 2000") |
| UDP: 1536-byte datagrams into the grid, at most 64 waiting | say the rate and losses | $(fmt 0 "$paced") datagrams/s, $(fmt 1 "$pacedmb") MB/s, $(fmt 0 "$pacedlost") of 100000 lost | $(ratio "$paced" "$uplain") of a plain reader ($(fmt 0 "$uplain")/s) | |
| UDP: the same, sender unpaced | say the rate and losses | $(fmt 0 "$unpaced") datagrams/s, $(fmt 0 "$unpacedlost") of 100000 lost by the socket | | |
| UDP: \`WriteDISPLAYBlock\` of one datagram | | $(fmt 1 "$uwrite") µs | | |
| UDP: idle connected worker | under 2 % | $(fmt 2 "$uidle") % | | $(meets "$uidle < 2") |
| File send, raw, delay 0, 230400 baud | keeps the line full (23 040 bytes/s), identical and in order | $(fmt 0 "$fraw") bytes/s, identical in $fsame of 5 sends | $(ratio "$fraw" 23040) of the line's rate | $(meets "$fraw >= 23040 && $fsame == 5") |
| File send, delay 1 ms | within 0.3 ms | $(fmt 3 "$f1") ms per byte | | $(meets "$f1 <= 1.3") |
| File send, delay 2 ms | within 0.3 ms | $(fmt 3 "$f2") ms per byte | | $(meets "$f2 <= 2.3") |
| File send, delay 10 ms | within 10 % | $(fmt 3 "$f10") ms per byte | | $(meets "$f10 <= 11") |
| File send, F6 to the last byte of a 60-byte line | | $(fmt 3 "$f6") ms | | |
| Win32 under Wine: file send, raw, delay 0, 230400 baud | keeps the line full (23 040 bytes/s), identical and in order | $(fmt 0 "$wraw") bytes/s, identical in $wsame of 5 sends | $(ratio "$wraw" 23040) of the line's rate | $(meets "$wraw >= 23040 && $wsame == 5") |
| Win32 under Wine: file send, delay 1 ms | within 0.3 ms | $(fmt 3 "$w1") ms per byte | | $(meets "$w1 <= 1.3") |
| Win32 under Wine: file send, delay 2 ms | within 0.3 ms | $(fmt 3 "$w2") ms per byte | | $(meets "$w2 <= 2.3") |
| Win32 under Wine: file send, delay 10 ms | within 10 % | $(fmt 3 "$w10") ms per byte | | $(meets "$w10 <= 11") |
| Win32 under Wine: F6 to the last byte of a 60-byte line | | $(fmt 3 "$w6") ms | | |
| ZELTO.EXE under Wine, idle, raw display: ZELTO.EXE | under 2 % | $(fmt 2 "$wri") % (Xvfb $(fmt 2 "$wrix") %, wineserver $(fmt 2 "$wris") %) | $(ratio "$wri" "$pidle") of picocom's idle share | $(meets "$wri < 2") |
| ZELTO.EXE under Wine, idle, hex display: ZELTO.EXE | under 2 % | $(fmt 2 "$whi") % (Xvfb $(fmt 2 "$whix") %, wineserver $(fmt 2 "$whis") %) | | $(meets "$whi < 2") |
| ZELTO.EXE under Wine, device paced at 230400 baud, raw display: ZELTO.EXE + Xvfb + wineserver | at most picocom in xterm's (ratio at most 1.0) | $(fmt 0 "$wrp") bytes/s; total $(fmt 1 "$wrpt") % (ZELTO.EXE $(fmt 1 "$wrpz") %, Xvfb $(fmt 1 "$wrpx") %, wineserver $(fmt 1 "$wrps") %) | $(ratio "$wrpt" "$wreft") of picocom in xterm's | $(meets "$wrpt <= $wreft") |
| ZELTO.EXE under Wine, device paced at 230400 baud, hex display: ZELTO.EXE + Xvfb + wineserver | at most 1.5 times picocom in xterm's | $(fmt 0 "$whp") bytes/s; total $(fmt 1 "$whpt") % (ZELTO.EXE $(fmt 1 "$whpz") %, Xvfb $(fmt 1 "$whpx") %, wineserver $(fmt 1 "$whps") %) | $(ratio "$whpt" "$wreft") of picocom in xterm's | $(meets "$whpt <= 1.5 * $wreft") |
| Reference: picocom in xterm, device paced at 230400 baud: picocom + xterm + Xvfb | | $(fmt 0 "$wref") bytes/s; total $(fmt 1 "$wreft") % (picocom $(fmt 1 "$wrefp") %, xterm $(fmt 1 "$wrefxt") %, Xvfb $(fmt 1 "$wrefx") %) | | |
| ZELTO.EXE under Wine, device flooding, raw display | at least $floodgoal bytes/s (5 times the figure before frame-paced painting) | $(fmt 0 "$wrf") bytes/s drawn; ZELTO.EXE $(fmt 1 "$wrfz") %, Xvfb $(fmt 1 "$wrfx") %, wineserver $(fmt 1 "$wrfs") % | $(ratio "$wrf" "$pbytes" 4) of picocom's rate | $(meets "$wrf >= $floodgoal") |
| ZELTO.EXE under Wine, device flooding, hex display | keeps up with 230400 baud | $(fmt 0 "$whf") bytes/s drawn; ZELTO.EXE $(fmt 1 "$whfz") %, Xvfb $(fmt 1 "$whfx") %, wineserver $(fmt 1 "$whfs") % | | $(meets "$whf > 23040") |
| ZELTO.EXE under Wine: Erase Screen with a full screen, command to the frame on the screen | under 50 ms | $(fmt 1 "$werase") ms | | $(meets "$werase < 50") |
| ZELTO.EXE under Wine: echoed key with the view scrolled to the top, key to the frame on the screen | under 20 ms | $(fmt 1 "$wecho") ms | | $(meets "$wecho < 20") |
| zelto (GTK), idle: zelto | under 0.5 % | $(fmt 2 "$gidle") % | | $(meets "$gidle < 0.5") |
| zelto (GTK) at 230400 baud, raw display: zelto + Xvfb | at most half of picocom + xterm + Xvfb | $(fmt 2 "$gra") % (zelto $(fmt 2 "$grp") %, Xvfb $(fmt 2 "$grx") %; $(fmt 0 "$grr") bytes/s) | $(ratio "$gra" "$grref") of picocom + xterm + Xvfb ($(fmt 2 "$grref") %) | $(meets "$gra <= $grref / 2") |
| zelto (GTK) at 230400 baud, hex display: zelto + Xvfb | at most half of picocom + xterm + Xvfb | $(fmt 2 "$gha") % (zelto $(fmt 2 "$ghp") %, Xvfb $(fmt 2 "$ghx") %; $(fmt 0 "$ghr") bytes/s) | $(ratio "$gha" "$ghref") of picocom + xterm + Xvfb ($(fmt 2 "$ghref") %, hex with \`--imap ...nrmhex\`) | $(meets "$gha <= $ghref / 2") |
EOF
  if [ -s "$out/failed" ]; then
    echo "Harness runs that failed: $(paste -sd' ' "$out/failed"). Their figures are left out."
    echo
  fi
  cat <<'EOF'
## What each harness measures

- `bench_screen` (Google Benchmark): `WriteDISPLAYBlock` on blocks of 1536
  printable bytes with a carriage return every 70 (and, raw, every 10), into
  the screen model with the native build's headless window (no drawing).
- `bench_serial`: the worker on a pseudo-terminal. Latency of one typed byte
  to the device end and of one device byte into the grid (3000 samples each),
  8 MiB received as fast as the line takes it against a plain reader of the
  same line, the processor share of a connected idle worker over 10 s, and
  heap allocations (a counting `malloc`) while 10 000 bytes are echoed.
- `bench_reference`: picocom and then Zelto's worker on pseudo-terminals of
  their own: the idle share over 10 s, and 8 MiB received (picocom's output
  counted through a pipe).
- `bench_udp`: the UDP link on loopback: the round trip of a typed byte
  through an echoing peer, 100 000 datagrams of 1536 bytes (paced so that at
  most 64 wait, and unpaced), a plain reader of the same sender, the idle
  share, and the screen's part of a pass.
- `bench_filesend`: raw file send to a pseudo-terminal set to 230400 baud:
  bytes per second with no delay (a pass queues up to a queue's worth of
  bytes and the flush writes them together) and whether the device got the
  file byte for byte in each of 5 sends, the time per byte against the
  per-byte delay setting, and F6 to the last byte of a 60-byte line. A
  pseudo-terminal takes bytes as fast as they come, so the rate is the
  program's, which must be at least what the line takes (23 040 bytes/s).
  `bench/wine_filesend.sh` measures the same with the Win32 build under Wine
  (the device end records arrival times and the bytes themselves).
- `bench/wine_receive.sh`: ZELTO.EXE under Wine in a virtual X display, COM1
  a pseudo-terminal whose device end writes 80-character lines at 230400
  baud (23 040 bytes/s, a few bytes each millisecond), as fast as the line
  takes them, and idle: bytes per second taken in and drawn, and the
  processor shares of ZELTO.EXE, the X server and the wineserver, per
  window and in total; picocom inside xterm under the same X server on the
  same kind of device, paced alike, as the reference. With local echo on,
  the time from Erase Screen with a full screen, and from a typed key with
  the view scrolled to the top, to the frame on the screen (the probe sends
  the message and waits for the caret, which a frame places last, to stand
  at its new place), 5 times each.
- `bench/gtk_receive.sh`: the native program `zelto` (GTK) in a virtual X
  display, COM1 a pseudo-terminal whose device end sends its text lines at
  23040 bytes a second (the rate of a 230400-baud line), in raw and in hex
  display, and then picocom in an xterm of 80 x 33 on the same line in the
  same run (hex with picocom's `--imap` hex mappings): the processor share of
  each program (with its terminal) and of the X server; and zelto idle.
EOF
} >bench/README.md
echo "report: bench/README.md written"
[ -s "$out/failed" ] && exit 1
exit 0
