# The native program zelto: its build, the demonstration device, the program; sourced by run.sh, whose options and checked ports it uses.

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

  bash scripts/install-deps.sh native
  [ "$xvfb" = 1 ] && bash scripts/install-deps.sh screen

  # ---- zelto, and the demonstration device's bridge: only what changed
  build=${ZELTO_BUILD_DIR:-build/native-release}
  mkdir -p "$build"
  if [ ! -f "$build/build.ninja" ]; then
    say "configuring the native build in $build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 ||
      { cat "$build/configure.log" >&2; exit 1; }
  fi
  targets=(zelto)
  [ "$demo" = 1 ] && targets+=(ptydev)
  cmake --build "$build" --target "${targets[@]}" -j "$(nproc)" >"$build/build.log" 2>&1 ||
    { tail -n 30 "$build/build.log" >&2; die "the build failed (see $build/build.log)"; }
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

  local n args=()
  for n in $(printf '%s\n' "${!com[@]}" | sort); do
    args+=(--com "$n=${com[$n]}")
    [ "$demo" = 1 ] && [ "$n" = 1 ] || say "COM$n is ${com[$n]}"
  done
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
