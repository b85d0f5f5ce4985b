#!/usr/bin/env bash
# End to end: F3 drops the display stream (the device's bytes are not drawn, and not drawn later either), F4 shows it again; with a full grid the wheel scrolls, a view pulled by the device or by an echoed key leaves nothing stale below the grid, and "Erase Screen" blanks the window and brings the cursor home.
. "$ZW_LIB"

zelto_dir
preset_write "$ZW_APP/ZELTO.SET" echo=1   # local echo, for the echoed key below
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

# More lines than the grid holds: the cursor stays on row 127, and the view
# follows it with row 127 the 33rd in the view (row 95 on top), which is one
# row beyond the scroll range: a strip below row 127 shows.
lines=""
for i in $(seq 200); do lines+="line $i of many\r\n"; done
dev_send "$lines"
sleep 1
# crop SHOT FIRSTROW ROWS: those view rows of the grid as a picture of their own.
crop() {
  local f=$ZW_WORK/$(basename "$1" .ppm)-$2.ppm
  /usr/bin/convert "$1" -crop "$((80 * ZW_CX))x$(($3 * ZW_CY))+$(cell_x 0)+$(cell_y "$2")" +repage "$f"
  echo "$f"
}
# beyond_grid SHOT TOPROW: text pixels below row 127 and right of column 79 with view row 0 showing grid row TOPROW.
beyond_grid() {
  local below=$(((128 - $2) * ZW_CY)) cw ch
  cw=$(field clientw "$ZW_WINDOW") ch=$(field clienth "$ZW_WINDOW")
  echo $(($("$ZW_TOOLS/imgcheck" ink "$1" "$(cell_x 0)" $(($(cell_y 0) + below)) "$cw" $((ch - below))) +
    $("$ZW_TOOLS/imgcheck" ink "$1" "$(cell_x 80)" "$(cell_y 0)" $((cw - 80 * ZW_CX)) "$ch")))
}
# Within the scroll range (at its end), one wheel notch up moves the text
# three rows down.
probe send 0x115 7 0 >/dev/null   # WM_VSCROLL, SB_BOTTOM
sleep 0.3
full=$(shot full)
xdotool mousemove "$(cell_x 40)" "$(cell_y 10)"
xdotool click 4
sleep 0.5
wheeled=$(shot wheeled)
n=$("$ZW_TOOLS/imgcheck" diff "$(crop "$full" 0 29)" "$(crop "$wheeled" 3 29)" 0 0 $((80 * ZW_CX)) $((29 * ZW_CY)))
moved=$(diff_view "$full" "$wheeled" 40 40)
check wheel_notch_scrolls_three_rows "$n pixels differ from the text three rows up, $moved changed" \
  test "$n" -eq 0 -a "$moved" -gt 0

# The view at the top, then one byte from the device: the worker pulls the
# view 95 rows down, past the scroll range. Below row 127 and right of
# column 79 only background.
probe send 0x115 6 0 >/dev/null   # WM_VSCROLL, SB_TOP
sleep 0.3
dev_send 'Z'
sleep 0.6
pulled=$(shot pulled_by_device)
stale=$(beyond_grid "$pulled" 95)
check nothing_stale_below_the_grid_after_the_device "$stale text pixels beyond the grid" test "$stale" -eq 0
check device_byte_pulls_the_view "cell 32:0 $(ink "$pulled" 32 0) pixels" test "$(ink "$pulled" 32 0)" -gt 4

# The same pull by an echoed key, on the user-interface thread.
probe send 0x115 6 0 >/dev/null
sleep 0.3
typed q
wait_caret 32 2 3000
caret=$?
echoed=$(shot pulled_by_echo)
stale=$(beyond_grid "$echoed" 95)
check echoed_key_pulls_the_view "cell 32:1 $(ink "$echoed" 32 1) pixels, caret at 32:2: $caret" \
  test "$(ink "$echoed" 32 1)" -gt 4 -a "$caret" -eq 0
check nothing_stale_below_the_grid_after_an_echo "$stale text pixels beyond the grid" test "$stale" -eq 0
save_png "$echoed" pulled_view

# Config > Erase Screen, by keyboard: Alt, along the bar to Config, down to
# the third item.
menu 3 2
# The caret goes home at its end.
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
