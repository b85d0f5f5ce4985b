#!/usr/bin/env bash
# Builds ZELTO.EXE and starts it (under Wine on Linux), with a FORTH system on COM1 to talk to unless real devices are given.
#
#   bash scripts/run.sh                      COM1 is a demonstration device:
#                                            gforth on a pseudo-terminal
#   bash scripts/run.sh --device /dev/ttyUSB0
#                                            COM1 is that serial device
#   bash scripts/run.sh --com 2=/dev/ttyS0 --com 3=/dev/ttyACM0
#                                            COMn (1 to 6) are those devices
#   bash scripts/run.sh --xvfb [--screenshot FILE]
#                                            without a screen: a virtual X
#                                            display, and a picture of it
#
# The program keeps its preset file ZELTO.SET beside ZELTO.EXE in the build
# folder (build/win32-release, or $ZELTO_BUILD_DIR), and runs in a Wine
# prefix of its own there, so the ports mapped here touch no other Wine
# programs. The script ends when the program does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  sed -n '3,13p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-0}"
}

declare -A com=()
demo=1
xvfb=0
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
for n in "${!com[@]}"; do
  dev=${com[$n]}
  if [ ! -e "$dev" ]; then
    echo "run.sh: $dev (for COM$n) does not exist" >&2
    exit 1
  fi
  if [ ! -r "$dev" ] || [ ! -w "$dev" ]; then
    echo "run.sh: no read and write access to $dev (for COM$n): add yourself to its group (often dialout)" >&2
    exit 1
  fi
done

if [ "$xvfb" = 0 ] && [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'EOF'
run.sh: there is no X display (DISPLAY is not set), and ZELTO.EXE is a window.
Run it from a desktop session (or ssh -X), or give --xvfb to run it in a
virtual display that nobody sees, with --screenshot FILE for a picture.
EOF
  exit 1
fi

bash scripts/install-deps.sh

# ---- ZELTO.EXE
build=${ZELTO_BUILD_DIR:-build/win32-release}
echo "run.sh: building ZELTO.EXE in $build"
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target zelto -j "$(nproc)" >/dev/null || { echo "run.sh: the build failed" >&2; exit 1; }
build=$(cd "$build" && pwd)
run=$build/run
mkdir -p "$run"

# ---- processes of this run, ended when it ends
pids=()
cleanup() {
  local p
  # Wine processes of this prefix (the desktop window among them) first,
  # while their display is still there.
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$xvfb" = 1 ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.05; done
  export DISPLAY=:$(tr -d '\n' <"$run/display")
  echo "run.sh: virtual X display $DISPLAY"
fi

# ---- the Wine prefix of the program
export WINEPREFIX=${ZELTO_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run.sh: preparing the Wine prefix $WINEPREFIX (once)"
  wineboot -i >"$run/wineboot.log" 2>&1 </dev/null
  wineserver -w
fi
# Wine's own fonts (Tahoma, and Marlett for the caption buttons).
cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

# ---- the demonstration device: gforth behind a pseudo-terminal
if [ "$demo" = 1 ]; then
  g++ -std=c++20 -O2 -o "$run/ptydev" "$root/tests/wine/tools/ptydev.cpp" -lutil
  rm -f "$run/link"
  (cd "$run" && exec "$run/ptydev" --link "$run/link" --run gforth) >"$run/device.log" 2>&1 </dev/null &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$run/link" ] && break; sleep 0.05; done
  [ -s "$run/link" ] || { echo "run.sh: the demonstration device did not start" >&2; exit 1; }
  com[1]=$(tr -d '\n' <"$run/link")
  echo "run.sh: COM1 is gforth on ${com[1]}: type  2 3 + .  and Enter"
fi

# ---- the ports: the wineserver reads them when it starts
wineserver -k 2>/dev/null || true
wineserver -w
for n in "${!com[@]}"; do
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "${com[$n]}" /f >>"$run/reg.log" 2>&1
  [ "$demo" = 1 ] && [ "$n" = 1 ] || echo "run.sh: COM$n is ${com[$n]}"
done
# Without a window manager (the virtual display) frames and menu bars are
# drawn only inside a Wine desktop window.
if [ "$xvfb" = 1 ]; then
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d zelto /f >>"$run/reg.log" 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v zelto /d 1024x768 /f >>"$run/reg.log" 2>&1
else
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >>"$run/reg.log" 2>&1 || true
fi
wineserver -k 2>/dev/null || true
wineserver -w
if [ -f "$build/ZELTO.SET" ]; then
  echo "run.sh: settings from $build/ZELTO.SET (delete it for the defaults: COM1 at 115200 baud)"
fi

# ---- the program
(cd "$build" && exec wine ZELTO.EXE) >"$run/wine.log" 2>&1 </dev/null &
zelto=$!
pids+=($zelto)
if [ -n "$screenshot" ]; then
  sleep 6
  import -window root "$screenshot" && echo "run.sh: screenshot in $screenshot"
fi
echo "run.sh: ZELTO.EXE runs; close its window (or File > Exit) to end."
wait "$zelto" || true
