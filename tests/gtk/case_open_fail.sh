#!/usr/bin/env bash
# End to end: a serial device that another program holds is refused: the open-failure message box comes before the window, the reason is on standard error at once, and typing then sends nothing. Once free, ZELTO.INI's [serial] device opens it at 74880 baud with no device on the command line; one named there is used instead for that run.
. "$ZG_LIB"

# Another terminal program holds COM1's device, as picocom and tio do (flock).
# -o: the lock stays with flock itself, which the run ends after the case.
flock -o "$ZG_DEV_PTY" sleep 60 &
lock=$!
echo $lock >>"$ZG_OUT/started.pids"
sleep 0.3
(cd "$ZG_APP" && exec ./zelto --com "1=$ZG_DEV_PTY") >"$ZG_WORK/zelto.log" 2>&1 </dev/null &
ZG_PID=$!
echo "$ZG_PID" >>"$ZG_OUT/started.pids"
if wait_windows 'Zelto v3\.16' 1 10000; then
  s=$(shot refused)
  # The box is small and stands alone: no menu bar drawn yet.
  check open_fail_box_before_the_window "" test "$(ink "$s" 0 0 300 24 000000)" -lt 2000
  # The reason is on standard error already, while the box is up.
  check open_fail_reason_on_stderr "$(cat "$ZG_WORK/zelto.log")" \
    grep -qxF "zelto: COM1: $ZG_DEV_PTY: in use by another program" "$ZG_WORK/zelto.log"
  keys Return
else
  fail open_fail_box_before_the_window "no window at all"
fi
sleep 1
focus_main
check open_fail_window_opens_after_the_box "" test -n "$(main_window)"
typed "xyz"
keys Return
sleep 0.5
check open_fail_nothing_sent "device got $(dev_rx)" test -z "$(dev_rx)"
zelto_exit
kill "$lock" 2>/dev/null

printf '[serial]\ndevice = %s\nbaud = 74880\n' "$ZG_DEV_PTY" >"$ZG_APP/ZELTO.INI"
(cd "$ZG_APP" && exec ./zelto) >"$ZG_WORK/zelto.log" 2>&1 </dev/null &
ZG_PID=$!
echo "$ZG_PID" >>"$ZG_OUT/started.pids"
wait_windows 'Zelto v3\.16' 1 10000 && sleep 0.5 && focus_main
typed "74880"
check device_option_opens_the_port "device got $(dev_rx)" wait_rx 3734383830
check device_option_no_box "" test "$(windows 'Zelto v3\.16')" -eq 1
# Options: the port's row (10), its list of the devices found dropped down.
menu_item 3 "$ZG_OPTIONS_Y"
wait_windows Options 1 3000 && sleep 0.3
xdotool mousemove --window "$(xdotool search --onlyvisible --name '^Options$' | head -n 1)" 579 427 click 1
sleep 0.6
shot options-ports >/dev/null
keys Escape Escape
zelto_exit
zelto_start --com 1=/nonexistent/tty
check command_line_device_before_the_option "$(cat "$ZG_WORK/zelto.log")" \
  grep -qxF "zelto: COM1: /nonexistent/tty: No such file or directory" "$ZG_WORK/zelto.log"
keys Return
sleep 0.5
zg_finish
