#!/usr/bin/env bash
# End to end, VT100 emulation on (ZELTO.INI, a screen of 80 x 24): the answer to a cursor position request reaches the device; vttest's cursor-movement screens and python3's line editor, edited with Left and Backspace and recalled with Up, look as tmux shows them for the same keys, and the device gets those keys' VT100 sequences.
. "$ZG_LIB"
VT_WORK=$ZG_WORK/vt VT_PTYDEV=$ZG_TOOLS/ptydev
. "$ZG_ROOT/tests/support/vt_reference.sh"
printf '[terminal]\nemulation = vt100\nvt_size = %dx%d\n' "$VT_COLS" "$VT_ROWS" >"$ZG_APP/ZELTO.INI"

zelto_start || { fail vt100_window_opens "no window"; zg_finish; }
dev_send '\033[5;10H\033[6n'
check vt100_cursor_position_answered "device got $(dev_rx)" wait_rx "$(printf '\033[5;10R' | xxd -p)"
zelto_exit

# vt_run NAME PROGRAM...: the program as Zelto's device and in tmux.
vt_run() {
  vt_device "$@"
  echo "$VT_DEVICE_PID" >>"$ZG_OUT/started.pids"
  vtref_start "${@:2}"
  zelto_start --com "1=$VT_PTY" || fail "vt100_$1_window_opens" "no window"
  sleep 1
}

vt_run vttest vttest 24x80.80
vt_keys both t:1 Enter
for n in 1 2 3 4 5 6; do
  vt_same "vttest-$n"
  check "vt100_vttest_cursor_screen_$n" "$(head -c 600 "$VT_WORK/vttest-$n.diff")" test ! -s "$VT_WORK/vttest-$n.diff"
  vt_keys both Enter
done
zelto_exit
vtref_stop

vt_run python python3 -q
vt_keys both C-l t:'print(6*77)' Left BSpace Enter Up Enter
sleep 0.5
vt_same python
check vt100_readline_screen_as_tmux "$(head -c 600 "$VT_WORK/python.diff")" test ! -s "$VT_WORK/python.diff"
want=0c$(printf 'print(6*77)\033[D\177\r\033[A\r' | xxd -p)
check vt100_readline_keys_sent "device got $(xxd -p "$VT_RX" | tr -d '\n')" test "$(xxd -p "$VT_RX" | tr -d '\n')" = "$want"
shot python >/dev/null
vtref_stop
zg_finish
