#!/usr/bin/env bash
# End to end: with "New line on LF", "Time stamps" and Enter sending CR LF (from ZELTO.INI), a device's "a\nb\nc\n" shows on three rows, each begun by its time stamp, Enter sends CR LF after DTR, RTS and Send Break, and the status bar shows the link along the bottom.
. "$ZW_LIB"

zelto_dir
preset_write "$ZW_APP/ZELTO.SET"
printf '[terminal]\nnewline_on_lf = 1\nenter_sends = CRLF\ntimestamps = 1\nstatus_bar = 1\n' >"$ZW_APP/ZELTO.INI"
zelto_start || { fail line_ends_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000

dev_send 'a\nb\nc\n'
sleep 0.8
s=$(shot line_ends)
# Each row: "HH:MM:SS.mmm " in cells 0 to 12, then its letter in cell 13.
bad=""
for r in 0 1 2; do
  for c in 0 1 2 3 4 5 6 7 8 9 10 11 13; do [ "$(ink "$s" "$r" "$c")" -gt 0 ] || bad+=" $r:$c"; done
  [ "$(ink "$s" "$r" 12)" -eq 0 ] || bad+=" $r:12"
  [ "$(same_cell "$s" "$r" 2 "$r" 5)" -eq 0 ] || bad+=" $r:colons"
  [ "$(same_cell "$s" "$r" 2 "$r" 8)" -gt 0 ] || bad+=" $r:point"
done
check line_ends_lf_rows_begin_with_time_stamps "cells not as a stamped row:$bad" test -z "$bad"
check line_ends_three_rows_only "" test "$(ink_area "$s" 3 0 2 80)" -eq 0
check line_ends_rows_hold_their_letters "a, b and c alike" test "$(same_cell "$s" 0 13 1 13)" -gt 0 -a "$(same_cell "$s" 1 13 2 13)" -gt 0

cx=$(field clientx "$ZW_WINDOW") cy=$(field clienty "$ZW_WINDOW") ch=$(field clienth "$ZW_WINDOW")
bar=$("$ZW_TOOLS/imgcheck" ink "$s" "$cx" $((cy + ch - 14)) 300 12)
check line_ends_status_bar_shown "ink $bar" test "$bar" -gt 200

# DTR, RTS and Send Break (WM_COMMAND) on a pseudo-terminal, which has none
# of these lines, leave the link working: Enter then still goes out.
for id in 336 337 338; do probe send 0x111 "$id" 0 >/dev/null; done
sleep 0.5
keys Return
if wait_rx 0d0a 5000; then pass line_ends_enter_sends_cr_lf; else fail line_ends_enter_sends_cr_lf "device got $(dev_rx)"; fi
dev_send 'd\n'
sleep 0.6
check line_ends_link_works_after_modem_commands "" test "$(ink "$(shot after_break)" 3 13)" -gt 0

zw_finish
