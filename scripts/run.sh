#!/usr/bin/env bash
# Starts Zelto on Linux: the native program zelto (or ZELTO.EXE under Wine), built where its sources changed, with a FORTH system on COM1 to talk to unless a device is named.
#
#   bash scripts/run.sh                      COM1 is a demonstration device:
#                                            gforth on a pseudo-terminal
#   bash scripts/run.sh --device /dev/ttyUSB0
#                                            COM1 is that serial device
#   bash scripts/run.sh --com 2=/dev/ttyS0 --com 3=/dev/ttyACM0
#                                            COMn (1 to 6) are those devices
#   bash scripts/run.sh --list               the serial devices found and the
#                                            COM number each gets; starts
#                                            nothing
#   bash scripts/run.sh --wine               ZELTO.EXE under Wine instead of
#                                            the native program
#   bash scripts/run.sh --xvfb [--screenshot FILE]
#                                            without a screen: a virtual X
#                                            display, and a picture of it
#
# Serial devices found and not named (USB and ACM adapters, serial ports with
# a UART) take the free numbers up to COM6, in the order --list shows (zelto
# --list: ZELTO.EXE's start builds the native program for it). The
# native program (scripts/run_native.sh) keeps its preset file ZELTO.SET
# beside itself in build/native-release; ZELTO.EXE keeps it beside itself in
# build/win32-release and runs in a Wine prefix of its own there, so the
# ports mapped here touch no other Wine programs ($ZELTO_BUILD_DIR names
# another build folder). The script ends when the program does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  sed -n '3,/^set -e/{/^set -e/d;p}' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-0}"
}
say() { echo "run.sh: $*"; }
die() { echo "run.sh: $*" >&2; exit 1; }

declare -A com=()
demo=1
xvfb=0
list=0
wine=0
screenshot=
while [ $# -gt 0 ]; do
  case $1 in
    --device)
      [ $# -ge 2 ] || usage 2
      com[1]=$2
      demo=0
      shift 2
      ;;
    --com)
      [ $# -ge 2 ] && [[ $2 =~ ^[1-6]=.+ ]] || { echo "run.sh: --com wants N=DEVICE with N from 1 to 6" >&2; exit 2; }
      com[${2%%=*}]=${2#*=}
      [ "${2%%=*}" = 1 ] && demo=0
      shift 2
      ;;
    --list) list=1; shift ;;
    --wine) wine=1; shift ;;
    --xvfb) xvfb=1; shift ;;
    --screenshot)
      [ $# -ge 2 ] || usage 2
      screenshot=$(realpath -m "$2")
      shift 2
      ;;
    -h | --help) usage 0 ;;
    *) echo "run.sh: unknown option $1" >&2; usage 2 ;;
  esac
done

# ---- serial devices ------------------------------------------------------
# Which device each COM port is, zelto itself says (zelto --list): the
# ports named here, and the devices found on the free ones.

# shellcheck source=scripts/run_native.sh
source "$root/scripts/run_native.sh"

if [ "$list" = 1 ]; then
  native_build >/dev/null
  zelto_list
  [ "$demo" = 1 ] && say "COM1 is the demonstration device (gforth); --device DEV or --com 1=DEV puts a device there"
  exit 0
fi

# ---- the saved settings: what the start will talk to ----------------------

# shellcheck source=scripts/saved_link.sh
source "$root/scripts/saved_link.sh"

# start_xvfb: a virtual X display for --xvfb, in $run, ended with the run.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.05; done
  export DISPLAY=:$(tr -d '\n' <"$run/display")
  unset WAYLAND_DISPLAY
  say "virtual X display $DISPLAY"
}

# ---- ZELTO.EXE under Wine -------------------------------------------------
# Everything that makes the Windows program run on Linux: its build, its Wine
# prefix, the ports mapped there, the demonstration device, the program.

wine_build() {
  build=${ZELTO_BUILD_DIR:-build/win32-release}
  mkdir -p "$build"
  # Configured once; after that the build tool itself notices a changed
  # CMakeLists.txt, so a start with nothing changed builds nothing.
  if [ ! -f "$build/build.ninja" ]; then
    say "configuring the build of ZELTO.EXE in $build (once)"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 ||
      { cat "$build/configure.log" >&2; rm -f "$build/build.ninja"; exit 1; }
  fi
  # Nothing of the program's sources newer than the program (a file added or
  # removed makes its folder newer): nothing to build, and the build tool,
  # which checks its globbed folders each time, need not run.
  if [ ! -f "$build/ZELTO.EXE" ] || [ -n "$(find CMakeLists.txt cmake app display link platform resources \
      settings transfer -newer "$build/ZELTO.EXE" -print -quit 2>/dev/null)" ]; then
    cmake --build "$build" --target zelto -j "$(nproc)" >"$build/build.log" 2>&1 ||
      { tail -n 40 "$build/build.log" >&2; die "the build failed (all of it in $build/build.log)"; }
    grep -q "^\[[0-9]*/[0-9]*\] [BL]" "$build/build.log" && say "built ZELTO.EXE in $build"
  fi
  build=$(cd "$build" && pwd)
  run=$build/run
  mkdir -p "$run"
}

# The wineserver of the prefix stays for a while after the program ends
# (--persist), so that a start soon after finds Windows' services running
# and opens its window at once. It is started anew only when what it read at
# its start (the ports, the display) is to change: it reads the port mapping
# only then.
wine_server_pid() {
  local p
  p=$(cat "$run/wineserver.pid" 2>/dev/null) || return 1
  [[ "$(readlink "/proc/$p/exe" 2>/dev/null)" == *wineserver* ]] && echo "$p"
}
wine_prefix() {
  export WINEPREFIX=${ZELTO_WINEPREFIX:-$build/wineprefix}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # shellcheck source=scripts/wineprefix.sh
  . "$root/scripts/wineprefix.sh"
  local ports=() n want server
  for n in "${!com[@]}"; do ports+=("COM$n=${com[$n]}"); done
  want=$(printf '%s\n' "display=$DISPLAY" "desktop=$xvfb" "fonts=$ZELTO_DIALOG_FACE"; printf '%s\n' "${ports[@]}" | sort)
  server=$(wine_server_pid || true)
  if [ -n "$server" ] && [ "$want" = "$(cat "$run/wineserver.state" 2>/dev/null)" ]; then
    return 0
  fi
  if [ -n "$server" ]; then
    say "restarting Wine: the ports or the display changed"
    wineserver -k 2>/dev/null || true
  fi
  # A prefix from a start that was cut short may still have its server.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "preparing the Wine prefix $WINEPREFIX (once, about half a minute)"
    wineboot -i >"$run/wineboot.log" 2>&1 </dev/null
    wineserver -k 2>/dev/null || true
    wineserver -w
  fi
  zelto_prefix_fonts "$WINEPREFIX"
  zelto_prefix_font_registry "$WINEPREFIX"
  reg_file_set "$WINEPREFIX/system.reg" 'Software\\Wine\\Ports' only "${ports[@]}"
  # Without a window manager (the virtual display) frames and menu bars are
  # drawn only inside a Wine desktop window.
  if [ "$xvfb" = 1 ]; then
    reg_file_set "$WINEPREFIX/user.reg" 'Software\\Wine\\Explorer' merge Desktop=zelto
    reg_file_set "$WINEPREFIX/user.reg" 'Software\\Wine\\Explorer\\Desktops' merge zelto=1024x768
  else
    reg_file_set "$WINEPREFIX/user.reg" 'Software\\Wine\\Explorer' merge Desktop
  fi
  # Half an hour; with a virtual display, only while that lives.
  local persist=1800
  [ "$xvfb" = 1 ] && persist=0
  # A session of its own: a Ctrl+C that ends this script leaves it be.
  setsid wineserver -f -p"$persist" >/dev/null 2>&1 </dev/null &
  echo $! >"$run/wineserver.pid"
  echo "$want" >"$run/wineserver.state"
  # Ready when its socket is there, in the folder it works in.
  local pid=$!
  for _ in $(seq 100); do [ -S "$(readlink "/proc/$pid/cwd")/socket" ] && break; sleep 0.02; done
}

# The demonstration device: gforth behind a pseudo-terminal. COM1 leads to
# a name of its own that follows the device to its new terminal each start,
# so the port mapping stays the same from one start to the next.
wine_demo_device() {
  local src=$root/tests/wine/tools/ptydev.cpp
  if [ ! -x "$run/ptydev" ] || [ "$src" -nt "$run/ptydev" ]; then
    g++ -std=c++20 -O2 -o "$run/ptydev" "$src" -lutil
  fi
  rm -f "$run/link"
  (cd "$run" && exec "$run/ptydev" --link "$run/link" --alias "$run/com1" --run gforth) \
    >"$run/device.log" 2>&1 </dev/null &
  pids+=($!)
  com[1]=$run/com1
}
wine_demo_ready() {
  for _ in $(seq 100); do [ -s "$run/link" ] && return 0; sleep 0.05; done
  die "the demonstration device did not start (see $run/device.log)"
}

# What the window will talk to, from the ports and the saved settings.
wine_tell_link() {
  local n
  for n in $(printf '%s\n' "${!com[@]}" | sort); do
    [ "$demo" = 1 ] && [ "$n" = 1 ] && continue
    say "COM$n is ${com[$n]}"
  done
  tell_saved_link "$build/ZELTO.SET" "$([ "$demo" = 1 ] && tr -d '\n' <"$run/link")"
}

run_wine() {
  # Asked again only when the installed packages changed since it last said
  # that nothing is missing.
  local stamp=build/.run-deps-$xvfb
  if [ ! "$stamp" -nt /var/lib/dpkg/status ]; then
    bash scripts/install-deps.sh run
    [ "$xvfb" = 1 ] && bash scripts/install-deps.sh screen
    mkdir -p build && touch "$stamp"
  fi
  wine_build
  # The devices found take the free ports as zelto numbers them; Wine
  # learns each from its registry.
  native_build >/dev/null
  ports_checked map

  pids=()
  zelto=
  cleanup() {
    local p
    # With a virtual display every Wine process of the prefix ends with it;
    # otherwise the program only, and the wineserver waits for the next start.
    if [ "$xvfb" = 1 ]; then
      wineserver -k >/dev/null 2>&1
    elif [ -n "$zelto" ]; then
      kill "$zelto" 2>/dev/null || true
    fi
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    # Not the wineserver, which is a child too and stays.
    for p in "${pids[@]}" $zelto; do wait "$p" 2>/dev/null || true; done
  }
  trap cleanup EXIT
  trap 'exit 130' INT TERM

  [ "$xvfb" = 1 ] && start_xvfb

  [ "$demo" = 1 ] && wine_demo_device
  wine_prefix
  [ "$demo" = 1 ] && wine_demo_ready
  wine_tell_link

  (cd "$build" && exec wine ZELTO.EXE) >"$run/wine.log" 2>&1 </dev/null &
  zelto=$!
  if [ -n "$screenshot" ]; then
    sleep 6
    import -window root "$screenshot" && say "screenshot in $screenshot"
  fi
  say "ZELTO.EXE runs; close its window (or File > Exit) to end."
  wait "$zelto" || true
  zelto=
}

# ---- the native program -------------------------------------------------
if [ "$wine" = 0 ]; then
  run_native
  exit 0
fi
if [ "$xvfb" = 0 ] && [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'EOF'
run.sh: there is no X display (DISPLAY is not set), and Zelto is a window.
Run it from a desktop session (or ssh -X), or give --xvfb to run it in a
virtual display that nobody sees, with --screenshot FILE for a picture.
EOF
  exit 1
fi
run_wine
