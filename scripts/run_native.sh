# The native program zelto: its build, the demonstration device, the program; sourced by run.sh, whose options and named ports it uses.

# native_build: zelto, and the demonstration device's bridge when it is
# wanted, in $native (build/native-release): only what changed. ZELTO.EXE's
# start asks zelto too, which device each COM port is.
native_build() {
  bash scripts/install-deps.sh native
  native=build/native-release
  [ "$wine" = 0 ] && native=${ZELTO_BUILD_DIR:-$native}
  mkdir -p "$native"
  if [ ! -f "$native/build.ninja" ]; then
    say "configuring the native build in $native"
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$native/configure.log" 2>&1 ||
      { cat "$native/configure.log" >&2; exit 1; }
  fi
  local targets=(zelto)
  [ "$demo" = 1 ] && targets+=(ptydev)
  cmake --build "$native" --target "${targets[@]}" -j "$(nproc)" >"$native/build.log" 2>&1 ||
    { tail -n 30 "$native/build.log" >&2; die "the build failed (see $native/build.log)"; }
  native=$(cd "$native" && pwd)
}

# zelto_list: the serial devices found and the COM port each becomes, as
# zelto itself numbers them with the ports named here; COM1 stays the
# demonstration device's.
zelto_list() {
  local n args=()
  for n in "${!com[@]}"; do [ "$demo" = 1 ] && [ "$n" = 1 ] || args+=(--com "$n=${com[$n]}"); done
  [ "$demo" = 1 ] && args+=(--com 1=gforth)
  "$native/zelto" --list "${args[@]}" |
    sed 's|^  gforth  *COM1  does not exist$|  gforth           COM1  the demonstration device|'
}

# ports_checked: reads zelto_list. A named device that cannot be used (gone,
# no permission, held by another program: under Wine both programs would
# read it) ends the script with the reason; with "map", the devices found
# that can be used take their free ports in com[].
ports_checked() {
  local line dev n why
  while IFS= read -r line; do
    [[ $line =~ ^\ \ ([^\ ]+)\ +COM([1-6])(\ \ (.*))?$ ]] || continue
    dev=${BASH_REMATCH[1]} n=${BASH_REMATCH[2]} why=${BASH_REMATCH[4]}
    [ "$dev" = gforth ] && continue
    if [ "${com[$n]:-}" = "$dev" ]; then
      [ -z "$why" ] || die "$dev (for COM$n): $why"
    elif [ "${1:-}" = map ] && [ -z "$why" ] && [ -z "${com[$n]:-}" ]; then
      com[$n]=$dev
    fi
  done < <(zelto_list)
}

run_native() {
  if [ "$xvfb" = 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'EOF'
run.sh: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), and
Zelto is a window. Run it from a desktop session (or ssh -X), or give --xvfb
to run it in a virtual display that nobody sees, with --screenshot FILE for
a picture.
EOF
    exit 1
  fi

  [ "$xvfb" = 1 ] && bash scripts/install-deps.sh screen
  native_build
  ports_checked
  build=$native
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

  [ "$xvfb" = 1 ] && start_xvfb

  # ---- the demonstration device: gforth behind a pseudo-terminal
  if [ "$demo" = 1 ]; then
    rm -f "$run/link"
    (cd "$run" && exec "$build/tests/wine/tools/ptydev" --link "$run/link" --run gforth) >"$run/device.log" 2>&1 </dev/null &
    pids+=($!)
    for _ in $(seq 200); do [ -s "$run/link" ] && break; sleep 0.01; done
    [ -s "$run/link" ] || die "the demonstration device did not start (see $run/device.log)"
    com[1]=$(tr -d '\n' <"$run/link")
  fi

  # The devices found take the other ports, as zelto numbers them.
  local n args=()
  for n in $(printf '%s\n' "${!com[@]}" | sort); do args+=(--com "$n=${com[$n]}"); done
  zelto_list | sed 's/^/run.sh: /'
  tell_saved_link "$build/ZELTO.SET" "$([ "$demo" = 1 ] && echo "${com[1]}")"

  # ---- the program
  "$build/zelto" "${args[@]}" >"$run/zelto.log" 2>&1 </dev/null &
  zelto=$!
  pids+=($zelto)
  if [ -n "$screenshot" ]; then
    for _ in $(seq 100); do xdotool search --onlyvisible --name '^Zelto v3.16$' >/dev/null 2>&1 && break; sleep 0.05; done
    sleep 1
    import -window root "$screenshot" && say "screenshot in $screenshot"
  fi
  say "zelto runs; close its window (or File > Exit) to end."
  wait "$zelto" || true
}
