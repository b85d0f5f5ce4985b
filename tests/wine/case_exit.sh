#!/usr/bin/env bash
# End to end: "Exit" in the File menu, and Alt+F4, end ZELTO.EXE with exit code 0, and nothing is saved at exit.
. "$ZW_LIB"

zelto_start || { fail exit_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000
# File > Exit: Alt, Down opens File on its first item, Up wraps to the last.
menu 0 0 1
if zelto_wait_exit 10000; then
  check exit_command_exit_code_0 "exit code $ZW_EXIT" test "$ZW_EXIT" -eq 0
else
  fail exit_command_exit_code_0 "still running after 10 s"
fi
check exit_window_gone "" probe wait-closed 3000
check exit_saves_no_preset "" test ! -e "$ZW_APP/ZELTO.SET"

# Alt+F4 is the window's close, not the F4 accelerator.
zelto_start || { fail exit_window_opens_again "no window"; exit 1; }
wait_foreground 5000
keys alt+F4
if zelto_wait_exit 10000; then
  check alt_f4_exit_code_0 "exit code $ZW_EXIT" test "$ZW_EXIT" -eq 0
else
  fail alt_f4_exit_code_0 "still running after 10 s"
fi

zw_finish
