#!/usr/bin/env bash
# End to end: F3 drops the display stream (the device's bytes are not drawn, and not drawn later either), F4 shows it again; with a full grid the wheel scrolls, a view pulled by the device or by an echoed key leaves nothing stale below the grid; scrolled up into the history the view stays put while output goes on, Find (Ctrl+Shift+F) selects a row long gone and says "not found" in its dialog, Save Output As (Ctrl+Shift+S) writes history and grid with CR LF; and "Erase Screen" blanks the window and brings the cursor home.
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

# The view at the grid's top (the thumb below the 73 rows of history),
# then one byte from the device: the worker pulls the view 95 rows down,
# past the scroll range. Below row 127 and right of column 79 only
# background.
grid_top=$((4 | (73 * ZW_CY) << 16))   # SB_THUMBPOSITION
probe send 0x115 "$grid_top" 0 >/dev/null   # WM_VSCROLL
sleep 0.3
dev_send 'Z'
sleep 0.6
pulled=$(shot pulled_by_device)
stale=$(beyond_grid "$pulled" 95)
check nothing_stale_below_the_grid_after_the_device "$stale text pixels beyond the grid" test "$stale" -eq 0
check device_byte_pulls_the_view "cell 32:0 $(ink "$pulled" 32 0) pixels" test "$(ink "$pulled" 32 0)" -gt 4

# The same pull by an echoed key, on the user-interface thread.
probe send 0x115 "$grid_top" 0 >/dev/null
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

# Scrollback: the bar's top shows the history's oldest row, the first one
# written ("ABCGHIline 1 of many"), and output goes on without moving it.
probe send 0x115 6 0 >/dev/null   # SB_TOP
sleep 0.3
top=$(shot history_top)
more=""
for i in $(seq 201 260); do more+="line $i of many\r\n"; done
dev_send "$more"
sleep 1
held=$(shot history_held)
check scrollback_top_shows_the_oldest_row "cell 0:0 $(ink "$top" 0 0) pixels" test "$(ink "$top" 0 0)" -gt 4
n=$(diff_view "$top" "$held" 40 40)
check scrollback_view_held_while_output_goes_on "$n pixels changed" test "$n" -eq 0
save_png "$held" history_view

# Find: a row that left the grid long ago, selected (copied after Esc);
# then a text that is nowhere.
keys shift+End ctrl+shift+f
probe wait-dialog Find 5000 >/dev/null
typed 'line 5 of'
keys Return
sleep 0.5
keys Escape
ui_idle
keys ctrl+Insert
ui_idle
got=$(field hex "$(probe clip-get)")
check find_selects_a_row_long_gone "clipboard holds $got" test "$got" = "$(printf 'line 5 of' | od -An -v -tx1 | tr -d ' \n')"
keys ctrl+shift+f
probe wait-dialog Find 5000 >/dev/null
typed 'no such text'
keys Return
sleep 0.5
found=$(probe wait-dialog Find 2000 | grep 'id=1034')
case $found in
  *'"not found"'*) pass find_says_not_found_in_its_dialog ;;
  *) fail find_says_not_found_in_its_dialog "note: $found" ;;
esac
keys Escape
ui_idle

# Save Output As: history and grid, one line per row with CR LF.
keys ctrl+shift+s
probe wait-dialog "Save Output As" 5000 >/dev/null
keys ctrl+a
typed "Z:$(echo "$ZW_WORK/output.txt" | tr / '\\')"
keys Return
for _ in $(seq 50); do [ -s "$ZW_WORK/output.txt" ] && break; sleep 0.1; done
first=$(head -c 22 "$ZW_WORK/output.txt" | od -An -v -tx1 | tr -d ' \n')
want=$(printf 'ABCGHIline 1 of many\r\n' | od -An -v -tx1 | tr -d ' \n')
last=$(grep -c $'^line 260 of many\r$' "$ZW_WORK/output.txt" 2>/dev/null)
check save_output_writes_history_and_grid "$(wc -l <"$ZW_WORK/output.txt" 2>/dev/null) lines, first $first, last found $last" \
  test "$first" = "$want" -a "$last" = 1

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
