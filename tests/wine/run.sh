#!/usr/bin/env bash
# Runs the Win32 test programs and the end-to-end cases of ZELTO.EXE under Wine, in a virtual X display, with COM1 mapped to a pseudo-terminal.
#
#   tests/wine/run.sh <windows-build-dir>
#
# Prints "PASS name" / "FAIL name: detail" per check (and the "SKIP name:
# reason" of a case that cannot be set up here) and ends with
# "N passed, N failed"; exits non-zero if anything failed. Everything it
# starts (X server, wineserver and Wine processes of its own prefix, the
# device) is ended again. ZW_ONLY=PATTERN runs only the cases and test
# programs whose name matches it, for working on one of them. Wine writes only to files: a Wine process that
# inherits a pipe would keep the reader of this script's output waiting.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 <windows-build-dir>" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
out=$build/wine-run
umount "$out/smallfs" 2>/dev/null   # left by a run that was killed
rm -rf "$out"
mkdir -p "$out"
log=$out/run.log
: >"$log"

passed=0
failed=0
result() {  # prints and counts the PASS/FAIL lines of a log file
  local line
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
      "PASS "*) echo "$line"; passed=$((passed + 1)) ;;
      "FAIL "*) echo "$line"; failed=$((failed + 1)) ;;
      "SKIP "*) echo "$line" ;;
    esac
  done <"$1"
}
note() { echo "wine: $*" >>"$log"; }
die() {
  echo "FAIL wine_setup: $*"
  failed=$((failed + 1))
  finish
}

# ---- processes of this run, ended in reverse order at the end
xvfb_pid=
server_pid=
device_pid=
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-/nonexistent}" ]; then
    # Ends every Wine process of this prefix (and only of it), then its server.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
  fi
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  if [ -f "$out/started.pids" ]; then
    local p
    while read -r p; do kill -KILL "$p" 2>/dev/null; done <"$out/started.pids"
  fi
  [ -n "$device_pid" ] && kill "$device_pid" 2>/dev/null
  [ -n "${ZW_SMALLFS:-}" ] && umount "$ZW_SMALLFS" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
finish() {
  cleanup
  echo
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
trap 'cleanup; exit 130' INT TERM

for tool in wine wineserver Xvfb xdotool import g++; do
  command -v "$tool" >/dev/null || die "$tool is missing (bash scripts/install-deps.sh)"
done

# ---- native tools: the device end of COM1 and the screenshot checks
tools=$out/tools
mkdir -p "$tools"
g++ -std=c++20 -O2 -Wall -Wextra -o "$tools/ptydev" "$root/tests/wine/tools/ptydev.cpp" -lutil >>"$log" 2>&1 ||
  die "building ptydev failed (see $log)"
g++ -std=c++20 -O2 -Wall -Wextra -o "$tools/imgcheck" "$root/tests/wine/tools/imgcheck.cpp" >>"$log" 2>&1 ||
  die "building imgcheck failed (see $log)"
probe_exe=$build/winprobe.exe
if [ ! -f "$probe_exe" ]; then
  # A build folder configured before the probe had its target.
  probe_exe=$tools/winprobe.exe
  x86_64-w64-mingw32-g++-win32 -std=c++20 -O2 -static -o "$probe_exe" "$root/tests/wine/winprobe_tool.cpp" \
    -luser32 -lgdi32 >>"$log" 2>&1 || die "building winprobe.exe failed (see $log)"
fi

# ---- the X display
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
[ -s "$out/display" ] || die "Xvfb did not start"
export DISPLAY=:$(tr -d '\n' <"$out/display")
note "display $DISPLAY"

# ---- the Wine prefix of this run, and a home of its own: Wine links the
# prefix's user folders to the home's and writes menu entries and file
# types under XDG_*; none of it may land in the user's own folders.
home=$out/home
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
rm -rf "$WINEPREFIX"
start_server() {
  wineserver -f -p >/dev/null 2>&1 </dev/null &
  server_pid=$!
}
stop_server() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  wait "$server_pid" 2>/dev/null
  server_pid=
}
start_server
t0=$SECONDS
wineboot -i >"$out/wineboot.log" 2>&1 </dev/null || die "wineboot failed (see $out/wineboot.log)"
note "wineboot took $((SECONDS - t0)) s"
# Wine's own faces (Tahoma, Marlett for the caption buttons, and MS Sans
# Serif, the face of Windows' dialogs) where the prefix keeps its fonts, and
# the dialog faces' substitutes as Windows has them: the dialogs are drawn
# as a person running the program sees them.
. "$root/scripts/wineprefix.sh"
zelto_prefix_fonts "$WINEPREFIX"
for face in "${ZELTO_SUBSTITUTED_FACES[@]}"; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$face" \
    /d "$ZELTO_DIALOG_FACE" /f >>"$log" 2>&1
done
# Every window in one virtual desktop, so that frames and menu bars are
# drawn (there is no window manager) and screenshots show them.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d zelto /f >>"$log" 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v zelto /d 1024x768 /f >>"$log" 2>&1

# ---- the device end of COM1
dev_dir=$out/device
mkdir -p "$dev_dir"
export ZW_DEV_CTL=$dev_dir/ctl ZW_DEV_ACK=$dev_dir/ack ZW_DEV_RX=$dev_dir/rx.bin
# COM1 is mapped to a name of the device's own that follows it when a test
# pulls it out and plugs it in again on a new terminal.
export ZW_DEV_COM1=$dev_dir/com1
: >"$ZW_DEV_ACK"
"$tools/ptydev" --link "$dev_dir/link" --alias "$ZW_DEV_COM1" --ctl "$ZW_DEV_CTL" --ack "$ZW_DEV_ACK" --rx "$ZW_DEV_RX" \
  >"$dev_dir/ptydev.log" 2>&1 </dev/null &
device_pid=$!
for _ in $(seq 100); do [ -s "$dev_dir/link" ] && break; sleep 0.02; done
[ -s "$dev_dir/link" ] || die "the device did not start"
export ZW_DEV_PTY=$(tr -d '\n' <"$dev_dir/link")

# map_com1 PATH: COM1 becomes PATH; the wineserver reads the mapping at start.
map_com1() {
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$1" /f >>"$log" 2>&1
  stop_server
  start_server
  wine "$probe_exe" metrics >"$out/metrics" 2>&1 </dev/null
  [ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$1" ]
}
# COM12 is the same device under a name of two digits, for the cases of the
# [serial] device option; it takes effect with the server's restart below.
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /d "$ZW_DEV_COM1" /f >>"$log" 2>&1
map_com1 "$ZW_DEV_COM1" || die "COM1 could not be mapped to $ZW_DEV_COM1"
note "COM1 and COM12 are $ZW_DEV_COM1, now $ZW_DEV_PTY"

metrics=$(cat "$out/metrics")
get() { sed -nE "s/.*(^| )$1=([^ ]*).*/\\2/p" <<<"$metrics"; }
export ZW_CXVSCROLL=$(get cxvscroll) ZW_CYHSCROLL=$(get cyhscroll) ZW_CYCAPTION=$(get cycaption)
export ZW_CYMENU=$(get cymenu) ZW_CELLX=$(get cellx) ZW_CELLY=$(get celly)
[ -n "$ZW_CELLX" ] || die "the probe did not run: $metrics"

dev_ctl() {
  local cmd
  { for cmd in "$@"; do echo "$cmd"; done; } >"$ZW_DEV_CTL"
  sleep 0.1
}

# ---- a small disk for the test programs' disk-full cases (ZW_SMALLFS);
# where none can be mounted they say so and skip those cases
mkdir -p "$out/smallfs"
if mount -t tmpfs -o size=64k zelto-smallfs "$out/smallfs" 2>>"$log"; then
  export ZW_SMALLFS=$out/smallfs
fi

# ---- the Win32 test programs: their own PASS/FAIL lines; COM1 echoes
shopt -s nullglob
for exe in "$build"/*_test.exe; do
  name=$(basename "$exe" .exe)
  [ -n "${ZW_ONLY:-}" ] && [[ $name != *$ZW_ONLY* ]] && continue
  dev_ctl clear "echo 1"
  t0=$SECONDS
  (cd "$build" && timeout -k 5 90 wine "$exe" >"$out/$name.log" 2>&1 </dev/null)
  rc=$?
  note "$name took $((SECONDS - t0)) s, exit code $rc"
  dev_ctl plug "echo 0" clear   # plugged in again if a test left it pulled out
  result "$out/$name.log"
  if [ $rc -ne 0 ] && ! grep -q '^FAIL ' "$out/$name.log"; then
    echo "FAIL $name: exit code $rc (see $out/$name.log)"
    failed=$((failed + 1))
  elif ! grep -qE '^(PASS|FAIL) ' "$out/$name.log"; then
    echo "FAIL $name: printed no result (see $out/$name.log)"
    failed=$((failed + 1))
  fi
done

# ---- the end-to-end cases of ZELTO.EXE
export ZW_ROOT=$root ZW_BUILD=$build ZW_OUT=$out ZW_TOOLS=$tools ZW_PROBE=$probe_exe
export ZW_EXE=$build/ZELTO.EXE ZW_SHOTS=$build/e2e
export ZW_LIB=$root/tests/wine/tools/lib.sh
cases=("$root"/tests/wine/case_*.sh)
if [ ! -f "$ZW_EXE" ]; then
  [ ${#cases[@]} -gt 0 ] && { echo "FAIL zelto_exe: $ZW_EXE was not built"; failed=$((failed + 1)); }
  cases=()
fi
for c in "${cases[@]}"; do
  name=$(basename "$c" .sh)
  [ -n "${ZW_ONLY:-}" ] && [[ $name != *$ZW_ONLY* ]] && continue
  dev_ctl clear "echo 0" "flood 0"
  # A case that needs a COM1 that cannot be opened says so in a line
  # "# zw-com1: missing"; the port then leads to a device that does not exist.
  if grep -qx '# zw-com1: missing' "$c"; then
    map_com1 "$out/no-such-device" || die "COM1 could not be mapped away"
  fi
  t0=$SECONDS
  timeout -k 5 120 bash "$c" >"$out/$name.log" 2>&1 </dev/null
  rc=$?
  note "$name took $((SECONDS - t0)) s, exit code $rc"
  result "$out/$name.log"
  if [ $rc -ne 0 ] && ! grep -q '^FAIL ' "$out/$name.log"; then
    echo "FAIL $name: exit code $rc (see $out/$name.log)"
    failed=$((failed + 1))
  fi
  if [ "$(readlink "$WINEPREFIX/dosdevices/com1")" != "$ZW_DEV_COM1" ]; then
    map_com1 "$ZW_DEV_COM1" || die "COM1 could not be mapped back"
  fi
  if [ -f "$out/started.pids" ]; then
    while read -r p; do kill -KILL "$p" 2>/dev/null; done <"$out/started.pids"
  fi
done

finish
