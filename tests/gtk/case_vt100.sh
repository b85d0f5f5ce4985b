#!/usr/bin/env bash
# End to end, VT100 emulation on (ZELTO.INI, a screen of 80 x 24): the answer to a cursor position request reaches the device; vttest's cursor-movement screens and python3's line editor, edited with Left and Backspace and recalled with Up, look as tmux (or xterm, where tmux strays from a VT100) shows them for the same keys, and the device gets those keys' VT100 sequences; a shell with a coloured prompt, `ls --color` and a coloured log draws its red line red (the picture is kept as vt100-shell.png).
. "$ZG_LIB"
VT_WORK=$ZG_WORK/vt VT_PTYDEV=$ZG_TOOLS/ptydev
. "$ZG_ROOT/tests/support/vt_reference.sh"
printf '[terminal]\nemulation = vt100\nvt_size = %dx%d\nstatus_bar = 1\n' "$VT_COLS" "$VT_ROWS" >"$ZG_APP/ZELTO.INI"

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

vt_cases_vttest
zelto_exit
vtref_stop

vt_cases_readline
zelto_exit
vtref_stop

# A shell on a board's console: a coloured prompt, `ls --color`, a log of
# ESP-IDF's colours with its error line in red.
mkdir -p "$VT_WORK/fs/etc" "$VT_WORK/fs/lib"
printf '#!/bin/sh\n' >"$VT_WORK/fs/flash.sh"
chmod +x "$VT_WORK/fs/flash.sh"
: >"$VT_WORK/fs/boot.log"
ln -s lib "$VT_WORK/fs/modules"
cd "$VT_WORK/fs" || exit 1
vt_device shell env 'PS1=\[\e[1;32m\]root@board\[\e[0m\]:\[\e[1;34m\]~\[\e[0m\]# ' bash --norc --noprofile -i
cd - >/dev/null || exit 1
echo "$VT_DEVICE_PID" >>"$ZG_OUT/started.pids"
zelto_start --com "1=$VT_PTY" || fail vt100_shell_window_opens "no window"
sleep 1
vt_keys zelto C-l t:'ls --color' Enter \
  t:"printf '\033[0;32mI (25907) wifi: connected, ip 192.168.4.2\033[0m\n\033[0;33mW (25990) mqtt: retrying\033[0m\n\033[0;31mE (26110) mqtt: no answer\033[0m\n'" Enter
sleep 0.5
import -window "$(main_window)" "$ZG_SHOTS/vt100-shell.png" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
red=$("$ZG_TOOLS/imgcheck" colours "$(shot shell)" "$X" "$Y" "$WIDTH" "$HEIGHT")
check vt100_red_drawn_red "$red" test "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100
zg_finish
