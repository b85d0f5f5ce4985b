#!/usr/bin/env bash
# Runs the end-to-end cases of the native program zelto in a virtual X display, driven with xdotool, COM1 a pseudo-terminal.
#
#   tests/gtk/run.sh <native-build-dir> [<windows-build-dir>]
#
# Prints "PASS name" / "FAIL name: detail" per check (and "SKIP name:
# reason" for a case that cannot run here) and ends with "N passed, N
# failed"; exits non-zero if anything failed. The Windows build folder, when
# given and holding ZELTO.EXE, lets the preset case run ZELTO.EXE under Wine
# beside zelto. ZG_ONLY=PATTERN runs only the cases whose name matches it.
# Screenshots are kept as PNG files in <native-build-dir>/e2e-gtk.
set -uo pipefail

if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 <native-build-dir> [<windows-build-dir>]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
winbuild=
[ $# -ge 2 ] && [ -f "$2/ZELTO.EXE" ] && winbuild=$(cd "$2" && pwd)
out=$build/gtk-run
rm -rf "$out"
mkdir -p "$out"
log=$out/run.log
: >"$log"

passed=0
failed=0
result() {
  local line
  while IFS= read -r line; do
    case $line in
      "PASS "*) echo "$line"; passed=$((passed + 1)) ;;
      "FAIL "*) echo "$line"; failed=$((failed + 1)) ;;
      "SKIP "*) echo "$line" ;;
    esac
  done <"$1"
}

xvfb_pid=
device_pid=
cleanup() {
  if [ -f "$out/started.pids" ]; then
    local p
    while read -r p; do kill -KILL "$p" 2>/dev/null; done <"$out/started.pids"
  fi
  [ -n "$device_pid" ] && kill "$device_pid" 2>/dev/null
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
die() {
  echo "FAIL gtk_setup: $*"
  failed=$((failed + 1))
  finish
}
trap 'cleanup; exit 130' INT TERM

for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || die "$tool is missing (bash scripts/install-deps.sh)"
done
export ZG_ZELTO=$build/zelto
[ -x "$ZG_ZELTO" ] || die "$ZG_ZELTO was not built (GTK 3 missing? bash scripts/install-deps.sh)"
export ZG_TOOLS=$build/tests/wine/tools
[ -x "$ZG_TOOLS/ptydev" ] && [ -x "$ZG_TOOLS/imgcheck" ] || die "ptydev and imgcheck were not built in $ZG_TOOLS"

# ---- the X display: no window manager, as a CI machine has
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
[ -s "$out/display" ] || die "Xvfb did not start"
export DISPLAY=:$(tr -d '\n' <"$out/display")
unset WAYLAND_DISPLAY
# No accessibility bus here: GTK would look for one at every start.
export NO_AT_BRIDGE=1
# A home of the run's own: what GTK keeps for a user (the file chooser's
# recent files and settings, caches) lands under the build folder, never
# in the user's.
home=$out/home
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache \
  XDG_STATE_HOME=$home/.local/state XDG_RUNTIME_DIR=$out/runtime GSETTINGS_BACKEND=memory
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# ---- the device end of COM1
dev_dir=$out/device
mkdir -p "$dev_dir"
export ZG_DEV_CTL=$dev_dir/ctl ZG_DEV_ACK=$dev_dir/ack ZG_DEV_RX=$dev_dir/rx.bin
: >"$ZG_DEV_ACK"
"$ZG_TOOLS/ptydev" --link "$dev_dir/link" --ctl "$ZG_DEV_CTL" --ack "$ZG_DEV_ACK" --rx "$ZG_DEV_RX" \
  >"$dev_dir/ptydev.log" 2>&1 </dev/null &
device_pid=$!
for _ in $(seq 100); do [ -s "$dev_dir/link" ] && break; sleep 0.02; done
[ -s "$dev_dir/link" ] || die "the device did not start"
export ZG_DEV_PTY=$(tr -d '\n' <"$dev_dir/link")

export ZG_ROOT=$root ZG_BUILD=$build ZG_OUT=$out ZG_WINBUILD=$winbuild
export ZG_SHOTS=$build/e2e-gtk ZG_LIB=$root/tests/gtk/lib.sh
rm -rf "$ZG_SHOTS"
mkdir -p "$ZG_SHOTS"
for c in "$root"/tests/gtk/case_*.sh; do
  name=$(basename "$c" .sh)
  [ -n "${ZG_ONLY:-}" ] && [[ $name != *$ZG_ONLY* ]] && continue
  echo "clear" >"$ZG_DEV_CTL"
  t0=$SECONDS
  timeout -k 5 180 bash "$c" >"$out/$name.log" 2>&1 </dev/null
  rc=$?
  echo "$name took $((SECONDS - t0)) s, exit code $rc" >>"$log"
  result "$out/$name.log"
  if [ $rc -ne 0 ] && ! grep -q '^FAIL ' "$out/$name.log"; then
    echo "FAIL $name: exit code $rc (see $out/$name.log)"
    failed=$((failed + 1))
  fi
  if [ -f "$out/started.pids" ]; then
    while read -r p; do kill -KILL "$p" 2>/dev/null; done <"$out/started.pids"
    rm -f "$out/started.pids"
  fi
done
finish
