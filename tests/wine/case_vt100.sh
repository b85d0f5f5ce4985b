#!/usr/bin/env bash
# End to end, VT100 emulation on (ZELTO.INI, a screen of 80 x 24): the answer to a cursor position request reaches the device; vttest's cursor-movement screens and python3's line editor, edited with Left and Backspace and recalled with Up, look as tmux (or xterm, where tmux strays from a VT100) shows them for the same keys, and the device gets those keys' VT100 sequences; a word printed in red is drawn red.
. "$ZW_LIB"
VT_WORK=$ZW_WORK/vt VT_PTYDEV=$ZW_TOOLS/ptydev
. "$ZW_ROOT/tests/support/vt_reference.sh"
zelto_dir
printf '[terminal]\r\nemulation = vt100\r\nvt_size = %dx%d\r\n' "$VT_COLS" "$VT_ROWS" >"$ZW_APP/ZELTO.INI"

zelto_start || { fail vt100_window_opens "no window or COM1 not opened"; exit 1; }
dev_send '\033[5;10H\033[6n'
check vt100_cursor_position_answered "device got $(dev_rx)" wait_rx "$(printf '\033[5;10R' | xxd -p)"
zelto_stop

# vt_run NAME PROGRAM...: the program as the device on COM1 (the wineserver
# reads the mapping at its start; run.sh maps COM1 back) and in tmux.
vt_run() {
  vt_device "$@"
  echo "$VT_DEVICE_PID" >>"$ZW_OUT/started.pids"
  ZW_DEV_ACK=$VT_WORK/device-$1/ack
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$VT_PTY" /f >"$ZW_WORK/reg.log" 2>&1 </dev/null
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  wineserver -f -p >/dev/null 2>&1 </dev/null &
  echo $! >>"$ZW_OUT/started.pids"
  vtref_start "${@:2}"
  zelto_start || fail "vt100_$1_window_opens" "no window or COM1 not opened"
  wait_foreground 5000
  sleep 1
}

vt_cases_vttest
zelto_stop
vtref_stop

vt_cases_readline
vt_keys zelto t:"print('\\x1b[31mERROR\\x1b[0m')" Enter
sleep 0.5
f=$(shot python)
save_png "$f" vt100-python
red=$("$ZW_TOOLS/imgcheck" colours "$f" "$(field x "$ZW_WINDOW")" "$(field y "$ZW_WINDOW")" "$(field w "$ZW_WINDOW")" "$(field h "$ZW_WINDOW")")
check vt100_red_drawn_red "$red" test "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100
vtref_stop
zw_finish
