# What real VT100 emulators show, for the VT100 cases of both programs' end-to-end runs: tmux (and xterm, where tmux strays) running the same program on a terminal of the same size, given the same keys.
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
# with no status line, so the pane is the whole screen; and in an xterm of
# the same size, the second opinion where tmux strays from what a VT100
# does (it takes a backspace at the right margin for one past it). F12
# prints xterm's screen as text to a file; it takes keys sent to its window.
vtref_start() {
  mkdir -p "$VT_WORK"
  printf 'set -g status off\nset -g escape-time 0\nset -g history-limit 0\n' >"$VT_WORK/tmux.conf"
  vtref new-session -d -x "$VT_COLS" -y "$VT_ROWS" "$(vt_command "$@")"
  xterm -geometry "${VT_COLS}x$VT_ROWS" -xrm 'XTerm*allowSendEvents: true' -xrm 'XTerm*printAttributes: 0' \
    -xrm "XTerm*printerCommand: cat >'$VT_WORK/xterm.print'" -xrm 'XTerm*printerAutoClose: true' \
    -xrm 'XTerm*printerFormFeed: false' -xrm 'XTerm.vt100.translations: #override <Key>F12: print()' \
    -e sh -c "$(vt_command "$@")" >"$VT_WORK/xterm.log" 2>&1 </dev/null &
  VT_XTERM_PID=$!
  # xterm's window, found by its process: a loaded machine may take many
  # seconds to map it. Without it no key goes to xterm at all: xdotool
  # given no window sends to the focused one, Zelto's.
  VT_XTERM=
  for _ in $(seq 600); do
    VT_XTERM=$(xdotool search --pid "$VT_XTERM_PID" 2>/dev/null | tail -n 1) && [ -n "$VT_XTERM" ] && break
    sleep 0.05
  done
  [ -n "$VT_XTERM" ] || fail vt100_reference_xterm "no xterm window in 30 s"
}
vtref_stop() {
  vtref kill-server 2>/dev/null
  kill "$VT_XTERM_PID" 2>/dev/null
}

# vt_keys WHO KEY...: sends the keys to the references (WHO = ref), to
# Zelto (WHO = zelto) or to both, each step given time to be answered.
vt_keys() {
  local who=$1 k x
  shift
  if [ "$who" = both ]; then
    vt_keys ref "$@"
    vt_keys zelto "$@"
    return
  fi
  for k in "$@"; do
    case $k in
      t:*) x=${k#t:} ;;
      Enter) x=Return ;;
      BSpace) x=BackSpace ;;
      C-*) x=ctrl+${k#C-} ;;
      *) x=$k ;;
    esac
    if [ "$who" = zelto ]; then
      if [ "$k" = "t:$x" ]; then typed "$x"; else keys "$x"; fi
    elif [ "$k" = "t:$x" ]; then
      vtref send-keys -l "$x"
      [ -n "$VT_XTERM" ] && xdotool type --window "$VT_XTERM" --delay 20 "$x"
    else
      vtref send-keys "$k"
      [ -n "$VT_XTERM" ] && xdotool key --window "$VT_XTERM" "$x"
    fi
    sleep 0.3
  done
}

# The screens as the same text: trailing blanks, CRs and empty rows off,
# and of Zelto's grid (its history comes with it) the rows that the
# reference's text spans, counted up from the last one written.
vt_trim() { tr -d '\r' | awk 1 | sed -e 's/ *$//' -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
# vt_same NAME: Zelto's screen is tmux's, or, where tmux and xterm differ,
# xterm's. The texts are kept in VT_WORK as NAME.tmux, NAME.xterm and
# NAME.zelto (all that Select All gave: NAME.all), the difference to tmux
# (or to xterm, where it decides) as NAME.diff.
vt_same() {
  local n=$VT_WORK/$1 t
  vtref capture-pane -p | vt_trim >"$n.tmux"
  rm -f "$VT_WORK/xterm.print"
  [ -n "$VT_XTERM" ] && xdotool key --window "$VT_XTERM" F12
  for ((t = 0; t < 60; t++)); do [ -s "$VT_WORK/xterm.print" ] && break; sleep 0.05; done
  sleep 0.2
  vt_trim <"$VT_WORK/xterm.print" >"$n.xterm"
  screen_text >"$n.all"
  vt_trim <"$n.all" | tail -n "$(wc -l <"$n.tmux")" >"$n.zelto"
  diff "$n.tmux" "$n.zelto" >"$n.diff" && return 0
  cmp -s "$n.tmux" "$n.xterm" && return 1
  vt_trim <"$n.all" | tail -n "$(wc -l <"$n.xterm")" >"$n.zelto"
  diff "$n.xterm" "$n.zelto" >"$n.diff"
}

# The cases of both front ends, with the case's vt_run NAME PROGRAM... (the
# program as Zelto's device and in the references, Zelto started) and
# check: vttest's cursor-movement screens; python3's line editor, edited
# and recalled, and the bytes its keys sent.
vt_cases_vttest() {
  local n
  vt_run vttest vttest 24x80.80
  vt_keys both t:1 Enter
  # The fourth screen, autowrap in vttest's pass for 132 columns, has no
  # reference on a screen of 80: xterm widens to 132 columns for it, tmux
  # reads a backspace at the right margin its own way.
  for n in 1 2 3 4 5 6; do
    [ "$n" = 4 ] && { vt_keys both Enter; continue; }
    vt_same "vttest-$n"
    check "vt100_vttest_cursor_screen_$n" "$(head -c 600 "$VT_WORK/vttest-$n.diff")" test ! -s "$VT_WORK/vttest-$n.diff"
    vt_keys both Enter
  done
}
vt_cases_readline() {
  vt_run python python3 -q
  vt_keys both C-l t:'print(6*77)' Left BSpace Enter Up Enter
  sleep 0.5
  vt_same python
  check vt100_readline_screen_as_tmux "$(head -c 600 "$VT_WORK/python.diff")" test ! -s "$VT_WORK/python.diff"
  local want
  want=0c$(printf 'print(6*77)\033[D\177\r\033[A\r' | xxd -p)
  check vt100_readline_keys_sent "device got $(xxd -p "$VT_RX" | tr -d '\n')" test "$(xxd -p "$VT_RX" | tr -d '\n')" = "$want"
}
