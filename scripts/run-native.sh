#!/usr/bin/env bash
# Builds the native Linux program zelto (what changed only) and starts it, with a FORTH system on COM1 to talk to unless real devices are given.
#
#   bash scripts/run-native.sh                    COM1 is a demonstration device:
#                                                 gforth on a pseudo-terminal
#   bash scripts/run-native.sh --device /dev/ttyUSB0
#                                                 COM1 is that serial device
#   bash scripts/run-native.sh --com 2=/dev/ttyS0 --com 3=/dev/ttyACM0
#                                                 COMn (1 to 6) are those devices
#   bash scripts/run-native.sh --xvfb [--screenshot FILE]
#                                                 without a screen: a virtual X
#                                                 display, and a picture of it
#
# Without --device or --com, COMn is the n-th of /dev/ttyUSB*, /dev/ttyACM*,
# then /dev/ttyS* (Config > Terminal shows which). The program keeps its
# preset file ZELTO.SET beside itself in the build folder
# (build/native-release, or $ZELTO_BUILD_DIR). The script ends when the
# program does.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

say() { echo "run-native.sh: $*"; }
# shellcheck source=scripts/saved_link.sh
source "$root/scripts/saved_link.sh"

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
      [ $# -ge 2 ] && [[ $2 =~ ^[1-6]=.+ ]] || { echo "run-native.sh: --com wants N=DEVICE with N from 1 to 6" >&2; exit 2; }
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
    *) echo "run-native.sh: unknown option $1" >&2; usage 2 ;;
  esac
done
for n in "${!com[@]}"; do
  dev=${com[$n]}
  if [ ! -e "$dev" ]; then
    echo "run-native.sh: $dev (for COM$n) does not exist" >&2
    exit 1
  fi
  if [ ! -r "$dev" ] || [ ! -w "$dev" ]; then
    echo "run-native.sh: no read and write access to $dev (for COM$n): add yourself to its group (often dialout)" >&2
    exit 1
  fi
done

if [ "$xvfb" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'EOF'
run-native.sh: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is
set), and zelto is a window. Run it from a desktop session (or ssh -X), or
give --xvfb to run it in a virtual display that nobody sees, with
--screenshot FILE for a picture.
EOF
  exit 1
fi

bash scripts/install-deps.sh native
[ "$xvfb" = 1 ] && bash scripts/install-deps.sh screen

# ---- zelto, and the demonstration device's bridge: only what changed
build=${ZELTO_BUILD_DIR:-build/native-release}
mkdir -p "$build"
if [ ! -f "$build/build.ninja" ]; then
  echo "run-native.sh: configuring the native build in $build"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
fi
targets=(zelto)
[ "$demo" = 1 ] && targets+=(ptydev)
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)" >"$build/build.log" 2>&1 ||
  { tail -n 30 "$build/build.log" >&2; echo "run-native.sh: the build failed (see $build/build.log)" >&2; exit 1; }
build=$(cd "$build" && pwd)
run=$build/run
mkdir -p "$run"

# ---- processes of this run, ended when it ends
pids=()
cleanup() {
  local p
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
  unset WAYLAND_DISPLAY
  echo "run-native.sh: virtual X display $DISPLAY"
fi

# ---- the demonstration device: gforth behind a pseudo-terminal
if [ "$demo" = 1 ]; then
  rm -f "$run/link"
  (cd "$run" && exec "$build/tests/wine/tools/ptydev" --link "$run/link" --run gforth) >"$run/device.log" 2>&1 </dev/null &
  pids+=($!)
  for _ in $(seq 200); do [ -s "$run/link" ] && break; sleep 0.01; done
  [ -s "$run/link" ] || { echo "run-native.sh: the demonstration device did not start" >&2; exit 1; }
  com[1]=$(tr -d '\n' <"$run/link")
fi

args=()
for n in "${!com[@]}"; do
  args+=(--com "$n=${com[$n]}")
  [ "$demo" = 1 ] && [ "$n" = 1 ] || echo "run-native.sh: COM$n is ${com[$n]}"
done
tell_saved_link "$build/ZELTO.SET" "$([ "$demo" = 1 ] && echo "${com[1]}")"

# ---- the program
"$build/zelto" "${args[@]}" >"$run/zelto.log" 2>&1 </dev/null &
zelto=$!
pids+=($zelto)
if [ -n "$screenshot" ]; then
  for _ in $(seq 100); do xdotool search --onlyvisible --name '^Zelto v3.16$' >/dev/null 2>&1 && break; sleep 0.05; done
  sleep 1
  import -window root "$screenshot" && echo "run-native.sh: screenshot in $screenshot"
fi
echo "run-native.sh: zelto runs; close its window (or File > Exit) to end."
wait "$zelto" || true
