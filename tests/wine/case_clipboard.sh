#!/usr/bin/env bash
# End to end: device text selected with a mouse drag and copied (Ctrl+Insert) reaches the clipboard as shown, CR LF between rows and 0x82 as the character drawn (here the font Wine gives has the ANSI character set: U+201A); a multi-line paste (Shift+Insert) reaches the device with each line end as Enter sends it (CR LF here), a NUL and a control byte's glyph as those bytes.
. "$ZW_LIB"

zelto_dir
printf '[terminal]\r\nenter_sends = CRLF\r\n' >"$ZW_APP/ZELTO.INI"
zelto_start || { fail clipboard_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000
dev_send 'value 42   \r\nsecond \x82 row\r\n'
ui_idle
base=$(ink_area "$(shot before)" 0 0 2 40)
xdotool mousemove "$(cell_x 0)" $(($(cell_y 0) + 2)) mousedown 1 sleep 0.2 \
  mousemove $(($(cell_x 20) + 2)) $(($(cell_y 1) + 2)) sleep 0.2 mousemove $(($(cell_x 40) + 2)) $(($(cell_y 1) + 2)) \
  sleep 0.2 mouseup 1
ui_idle
check clipboard_selection_drawn_inverted "ink $base before" test "$(ink_area "$(shot selected)" 0 0 2 40)" -gt $((base * 3))
keys ctrl+Insert
ui_idle
want=$(printf 'value 42\r\nsecond \xe2\x80\x9a row' | od -An -v -tx1 | tr -d ' \n')
got=$(field hex "$(probe clip-get)")
check clipboard_copy_as_shown "clipboard holds $got" test "$got" = "$want"

probe clip-set "$(printf 'one\ntwo\r\n' | od -An -v -tx1 | tr -d ' \n')" >/dev/null
keys shift+Insert
if wait_rx 6f6e650d0a74776f0d0a 5000; then pass clipboard_paste_sends_enter_per_line; else fail clipboard_paste_sends_enter_per_line "device got $(dev_rx)"; fi
# Every character of the clipboard's text, a NUL too (as byte 0), and the
# glyph of a control byte as that byte.
dev clear
probe clip-set 6100622e2e2ee298ba >/dev/null
keys shift+Insert
if wait_rx 6100622e2e2e01 5000; then pass clipboard_paste_nul_and_glyph_bytes; else fail clipboard_paste_nul_and_glyph_bytes "device got $(dev_rx)"; fi

# The right click's menu: Select All, third from its end (above "Find..."
# and "Clear Scrollback"); then Ctrl+Shift+C.
dev_send 'third\r\n'
ui_idle
xdotool mousemove "$(cell_x 30)" "$(cell_y 8)" click 3
sleep 0.5
keys Up Up Up Return
ui_idle
keys ctrl+shift+c
ui_idle
want=$(printf 'value 42\r\nsecond \xe2\x80\x9a row\r\nthird' | od -An -v -tx1 | tr -d ' \n')
got=$(field hex "$(probe clip-get)")
check clipboard_menu_selects_all "clipboard holds $got" test "$got" = "$want"
zw_finish
