#!/usr/bin/env bash
# End to end: F3 drops the display stream (the device's bytes are not drawn, and not drawn later either), F4 shows it again, and "Erase Screen" blanks the window and brings the cursor home.
. "$ZW_LIB"

zelto_start || { fail stream_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000

dev_send 'ABC'
sleep 0.6
shown=$(shot shown)
bad=""
for c in 0 1 2; do [ "$(ink "$shown" 0 "$c")" -gt 4 ] || bad+=" 0:$c"; done
check stream_device_bytes_drawn "blank cells:$bad" test -z "$bad"

keys F3
sleep 0.3
dev_send 'DEF'
sleep 0.8
dropped=$(shot dropped)
n=$(diff_view "$shown" "$dropped" 0 3)
check drop_stream_f3_draws_nothing "$n pixels changed" test "$n" -eq 0

keys F4
sleep 0.3
dev_send 'GHI'
sleep 0.8
again=$(shot shown_again)
bad=""
for c in 3 4 5; do [ "$(ink "$again" 0 "$c")" -gt 4 ] || bad+=" 0:$c"; done
check show_stream_f4_draws_again "blank cells:$bad" test -z "$bad"
# "DEF" was dropped, not held back: GHI follows ABC directly.
rest=$(ink_except "$again" 0:0 0:1 0:2 0:3 0:4 0:5 0:6 0:7)
check dropped_bytes_never_drawn "$rest text pixels past GHI" test "$rest" -eq 0

# Config > Erase Screen, by keyboard: Alt, along the bar to Config, down to
# the second item.
menu 3 1
# The erase walks the whole grid through the view, which under Wine takes a
# second or so; the caret goes home at its end.
wait_caret 0 0 8000
check erase_screen_caret_home "" test $? -eq 0
erased=$(shot erased)
rest=$(ink_except "$erased" 0:0 0:1)
# The blinking caret may stand in one cell while the shot is taken.
check erase_screen_blanks_the_window "$rest text pixels left" test "$rest" -le $((ZW_CX * ZW_CY))
dev_send 'X'
sleep 0.6
home=$(shot home)
rest=$(ink_except "$home" 0:0 0:1 0:2)
check erase_screen_cursor_home "cell 0:0 $(ink "$home" 0 0) pixels, $rest elsewhere" \
  test "$(ink "$home" 0 0)" -gt 4 -a "$rest" -eq 0

zw_finish
