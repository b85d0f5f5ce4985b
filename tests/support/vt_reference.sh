# What a real VT100 emulator shows, for the VT100 cases of both programs' end-to-end runs: tmux running the same program on a terminal of the same size, given the same keys.
#
# The case that sources this provides keys and typed (the front end's key
# and text senders) and screen_text (the text Zelto's grid shows, history
# first), and sets VT_WORK (a folder for the reference's files) and
# VT_PTYDEV (the tests' device end of a serial line).
#
# Keys are written once, in one notation, and sent to both: "t:TEXT" types
# TEXT; Enter, Left, Right, Up, Down, BSpace, Escape and C-x (Ctrl+x) are
# the keys of those names.

VT_COLS=80
VT_ROWS=24

# vt_command PROGRAM...: the shell command that runs PROGRAM as a device on
# a serial console does: TERM=vt100, the terminal's size set (the program
# cannot learn it from the line), 38400 baud, the speed a tmux pane reports.
vt_command() {
  printf 'stty rows %d cols %d 38400 2>/dev/null; TERM=vt100 exec' "$VT_ROWS" "$VT_COLS"
  printf ' %q' "$@"
}

# vt_device NAME PROGRAM...: the program as the device at the other end of
# a pseudo-terminal (ptydev --run), for Zelto's COM1; sets VT_PTY (the
# terminal Zelto opens) and VT_RX (a file of every byte the program got).
vt_device() {
  local d=$VT_WORK/device-$1
  shift
  mkdir -p "$d"
  : >"$d/ack"
  "$VT_PTYDEV" --link "$d/link" --ack "$d/ack" --rx "$d/rx.bin" --run sh -c "$(vt_command "$@")" \
    >"$d/log" 2>&1 </dev/null &
  VT_DEVICE_PID=$!
  for _ in $(seq 100); do [ -s "$d/link" ] && break; sleep 0.02; done
  VT_PTY=$(tr -d '\n' <"$d/link") VT_RX=$d/rx.bin
}

vtref() { tmux -S "$VT_WORK/tmux.sock" -f "$VT_WORK/tmux.conf" "$@"; }
# vtref_start PROGRAM...: the program in a detached tmux of VT_COLS x VT_ROWS
# with no status line, so the pane is the whole screen.
vtref_start() {
  mkdir -p "$VT_WORK"
  printf 'set -g status off\nset -g escape-time 0\nset -g history-limit 0\n' >"$VT_WORK/tmux.conf"
  vtref new-session -d -x "$VT_COLS" -y "$VT_ROWS" "$(vt_command "$@")"
}
vtref_stop() { vtref kill-server 2>/dev/null; }

# vt_keys WHO KEY...: sends the keys to tmux (WHO = ref), to Zelto (WHO =
# zelto) or to both, each step given time to be answered.
vt_keys() {
  local who=$1 k
  shift
  if [ "$who" = both ]; then
    vt_keys ref "$@"
    vt_keys zelto "$@"
    return
  fi
  for k in "$@"; do
    case $who:$k in
      ref:t:*) vtref send-keys -l "${k#t:}" ;;
      zelto:t:*) typed "${k#t:}" ;;
      ref:*) vtref send-keys "$k" ;;
      zelto:Enter) keys Return ;;
      zelto:BSpace) keys BackSpace ;;
      zelto:C-*) keys "ctrl+${k#C-}" ;;
      zelto:*) keys "$k" ;;
    esac
    sleep 0.3
  done
}

# Both screens as the same text: trailing blanks, CRs and empty rows off,
# and of Zelto's grid (its history comes with it) the rows that the
# reference's text spans, counted up from the last one written.
vt_trim() { tr -d '\r' | sed -e 's/ *$//' -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
# vt_same NAME: the two screens are one text; both are kept in VT_WORK as
# NAME.ref and NAME.zelto, a difference as NAME.diff.
vt_same() {
  vtref capture-pane -p | vt_trim >"$VT_WORK/$1.ref"
  screen_text | vt_trim | tail -n "$(wc -l <"$VT_WORK/$1.ref")" >"$VT_WORK/$1.zelto"
  diff "$VT_WORK/$1.ref" "$VT_WORK/$1.zelto" >"$VT_WORK/$1.diff"
}
