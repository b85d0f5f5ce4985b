#!/usr/bin/env bash
# End to end: device text selected with a mouse drag is drawn inverted and reaches the primary selection and, with Ctrl+Shift+C, the clipboard as shown; a multi-line paste (Ctrl+Shift+V) and a middle click reach the device with each line end as Enter sends it (CR LF here), every byte of a paste (a NUL, text that is not UTF-8, control glyphs) too; the find bar (Ctrl+Shift+F) selects a row that left the grid long ago, and Save Output As (Ctrl+Shift+S) writes history and grid.
. "$ZG_LIB"

printf '[terminal]\nenter_sends = CRLF\n' >"$ZG_APP/ZELTO.INI"
zelto_start || { fail clipboard_window_opens "no window"; zg_finish; }
erase_screen
dev_send 'value 42   \r\nsecond row\r\n'
sleep 0.5
base=$(ink "$(shot before)" 0 25 640 60)

# From the first cell of row 0 to far right on row 1; a row is about 16
# pixels below the menu bar's 25.
w=$(main_window)
xdotool mousemove --window "$w" 2 30 mousedown 1 mousemove --window "$w" 200 38 mousemove --window "$w" 600 46 mouseup 1
sleep 0.5
check clipboard_selection_drawn_inverted "ink $base before" test "$(ink "$(shot selected)" 0 25 640 60)" -gt $((base + 3000))
want=$(printf 'value 42\nsecond row')
got=$(xclip -o -selection primary 2>/dev/null)
check clipboard_selection_is_primary "primary holds '$got'" test "$got" = "$want"
keys ctrl+shift+c
got=$(xclip -o -selection clipboard 2>/dev/null)
check clipboard_copy_as_shown "clipboard holds '$got'" test "$got" = "$want"

printf 'one\ntwo\r\n' | xclip -i -selection clipboard
keys ctrl+shift+v
check clipboard_paste_sends_enter_per_line "device got $(dev_rx)" wait_rx 6f6e650d0a74776f0d0a
# Every byte of the text: a NUL, and text that is not UTF-8 byte for byte;
# the glyphs Copy gives control bytes (smiley, house) as those bytes.
dev clear
printf 'a\0b\351\n' | xclip -i -selection clipboard
keys ctrl+shift+v
check clipboard_paste_nul_and_bytes_not_utf8 "device got $(dev_rx)" wait_rx 610062e90d0a
dev clear
printf '\342\230\272\342\214\202' | xclip -i -selection clipboard
keys ctrl+shift+v
check clipboard_paste_control_glyphs_as_bytes "device got $(dev_rx)" wait_rx 017f
dev clear
xdotool mousemove --window "$w" 300 100 click 2
check clipboard_middle_click_pastes_primary "device got $(dev_rx)" wait_rx "$(printf 'value 42\r\nsecond row' | od -An -v -tx1 | tr -d ' \n')"
# The right click's menu: Select All, third from its end (above "Find..."
# and "Clear Scrollback"), then Ctrl+Insert.
dev clear
dev_send 'third\r\n'
xdotool mousemove --window "$w" 300 100 click 3
sleep 0.5
shot menu >/dev/null
keys Up Up Up Return ctrl+Insert
got=$(xclip -o -selection clipboard 2>/dev/null | tr '\n' '|')
check clipboard_menu_selects_all "clipboard holds '$got'" test "$got" = "value 42|second row|third"
keys ctrl+c ctrl+v
check clipboard_plain_ctrl_c_v_send_control_codes "device got $(dev_rx)" wait_rx 0316

# 300 lines more: the first rows go into the history, where the find bar
# finds one (Enter: towards older output) and offers it as the primary
# selection; Esc closes the bar.
lines=""
for i in $(seq 300); do lines+="line $i\r\n"; done
dev_send "$lines"
sleep 1
keys ctrl+shift+f
sleep 0.5
typed 'second r'
keys Return
sleep 0.5
got=$(xclip -o -selection primary 2>/dev/null)
check find_bar_selects_a_row_long_gone "primary holds '$got'" test "$got" = "second r"
keys Escape

# Save Output As: the dialog offers output.txt in the program's folder;
# Enter saves every row there, LF after each.
keys ctrl+shift+s
sleep 1
keys Return
out=$ZG_APP/output.txt
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
check save_output_writes_history_and_grid "$(head -c 40 "$out" 2>/dev/null | tr '\n' '|')" \
  test "$(head -n 3 "$out" 2>/dev/null | tr '\n' '|')" = "value 42|second row|third|" -a \
  "$(grep -cx 'line 300' "$out" 2>/dev/null)" = 1
zg_finish
