#!/usr/bin/env bash
# End to end: ZELTO.EXE without a preset file opens its window as "Zelto v3.16" at the size its default character cell gives, with the full menu bar and function keys, and the device's text is drawn in its grid.
. "$ZW_LIB"

zelto_start || { fail window_opens "no window or COM1 not opened: $ZW_WINDOW"; exit 1; }
pass window_opens

check window_title_and_class "$ZW_WINDOW" \
  test "$(field class "$ZW_WINDOW")" = "Zelto v3.16" -a "$(field title "$ZW_WINDOW")" = "Zelto v3.16"

# Outer size from the default cell: 81 cells and 30 pixels wide; caption,
# menu bar, 20 pixels and 33 rows high.
want_w=$((81 * (ZW_CXVSCROLL / 2) + 30))
want_h=$((ZW_CYCAPTION + ZW_CYMENU + 20 + 33 * ZW_CYHSCROLL))
got_w=$(field w "$ZW_WINDOW") got_h=$(field h "$ZW_WINDOW")
check window_size_from_default_cell "${got_w}x${got_h}, want ${want_w}x${want_h}" \
  test "$got_w" = "$want_w" -a "$got_h" = "$want_h"
check window_has_menu_bar "$ZW_WINDOW" test "$(field menu "$ZW_WINDOW")" = 1

# The menu and accelerators as the executable holds them.
res=$ZW_WORK/resources.txt
probe resources "$(sed 's|/|\\|g' <<<"Z:$ZW_APP/ZELTO.EXE")" >"$res"
bar=$(grep '^menu path="" ' "$res" | sed -E 's/.*(popup|text)="([^"]*)".*/\2/' | paste -sd'|')
ver=$(grep '^version ' "$res")
check version_resource_is_zelto_3_16 "$ver" \
  test "$ver" = 'version present=1 file=3.16.0.0 description="Zelto v3.16" product="3.16"'
check menu_bar_file_stream_updownload_config_info "$bar" test "$bar" = "File|Stream|Up/DownLoad|Config|Info"
check menu_info_is_a_command_on_the_bar "$(grep 'pos=4' "$res" | grep 'path=""')" \
  grep -q '^menu path="" pos=4 id=341 text="Info"' "$res"
want_items=$(
  cat <<'EOF'
File|302|Select Send File\tF1
File|304|Select Record File\tF2
File|306|Save Output As...\tCtrl+Shift+S
File|-|
File|301|Exit
Stream|311|Drop Display Stream\tF3
Stream|312|Show Display Stream\tF4
Up/DownLoad|321|Send File with seleted Delay\tF5
Up/DownLoad|322|Send File Line by Line + Next Line\tF6
Up/DownLoad|323|Line by Line (skip //.. comments) + Next Line\tF7
Up/DownLoad|324|Abort Send File\tF8
Up/DownLoad|-|
Up/DownLoad|325|Start Receive Record with Display\tF9
Up/DownLoad|326|Start Receive Record Quietly\tF10
Up/DownLoad|327|Pause Receive Record\tF11
Up/DownLoad|328|Close Record File\tF12
Up/DownLoad|-|
Up/DownLoad|329|Upload File paced by Replies\tShift+F6
Up/DownLoad|330|Upload File paced by Replies (skip comments)\tShift+F7
Up/DownLoad|-|
Up/DownLoad|361|Send File with XMODEM\tCtrl+F5
Up/DownLoad|362|Send File with YMODEM\tCtrl+F6
Up/DownLoad|363|Receive File with XMODEM...\tCtrl+F7
Up/DownLoad|364|Receive Files with YMODEM\tCtrl+F8
Config|331|Terminal
Config|335|Options
Config|-|
Config|332|Erase Screen
Config|342|VT100 Emulation
Config|-|
Config|336|DTR
Config|337|RTS
Config|338|Send Break
Config|-|
Config|333|Save Setup
Config|-|
Config|339|Clear Scrollback
EOF
)
got_items=$(grep -E '^menu path="[^"]+"' "$res" | while IFS= read -r line; do
  path=$(field path "$line")
  if [ "$(field separator "$line")" = 1 ]; then echo "$path|-|"; else echo "$path|$(field id "$line")|$(field text "$line")"; fi
done)
if [ "$got_items" = "$want_items" ]; then
  pass menu_items_texts_and_commands
else
  fail menu_items_texts_and_commands "$(diff <(echo "$want_items") <(echo "$got_items") | tr '\n' ' ')"
fi
# F1 to F12 as virtual keys without modifiers, not highlighting the menu;
# Shift+F6 and Shift+F7 for the paced uploads.
want_acc=""
cmds=(302 304 311 312 321 322 323 324 325 326 327 328)
for i in "${!cmds[@]}"; do
  want_acc+=$(printf 'accel key=0x%02x cmd=%d flags=0x03' $((0x70 + i)) "${cmds[$i]}")$'\n'
done
# Copy and Paste: Ctrl+Insert and Ctrl+Shift+C, Shift+Insert and Ctrl+Shift+V.
want_acc+=$'accel key=0x2d cmd=351 flags=0x0b\naccel key=0x43 cmd=351 flags=0x0f\n'
want_acc+=$'accel key=0x2d cmd=352 flags=0x07\naccel key=0x56 cmd=352 flags=0x0f\n'
want_acc+=$'accel key=0x75 cmd=329 flags=0x07\naccel key=0x76 cmd=330 flags=0x07\n'
# Shift+Page Up, Page Down, Home and End through the history; Ctrl+Shift+F
# finds, Ctrl+Shift+S saves the output.
want_acc+=$'accel key=0x21 cmd=355 flags=0x07\naccel key=0x22 cmd=356 flags=0x07\n'
want_acc+=$'accel key=0x24 cmd=357 flags=0x07\naccel key=0x23 cmd=358 flags=0x07\n'
want_acc+=$'accel key=0x46 cmd=354 flags=0x0f\naccel key=0x53 cmd=306 flags=0x0f\n'
# Ctrl+F5 to Ctrl+F8: XMODEM and YMODEM, sent and received.
want_acc+=$'accel key=0x74 cmd=361 flags=0x0b\naccel key=0x75 cmd=362 flags=0x0b\n'
want_acc+=$'accel key=0x76 cmd=363 flags=0x0b\naccel key=0x77 cmd=364 flags=0x0b\n'
got_acc=$(grep '^accel ' "$res" | sort)
check accelerators_f1_to_f12 "$(paste -sd' ' <<<"$got_acc")" test "$got_acc" = "$(sort <<<"${want_acc%$'\n'}")"
check icon_130 "" grep -q '^icon id=130 present=1' "$res"

# Typed characters go out as they are; Enter is CR alone; without local
# echo nothing is drawn.
wait_foreground 5000
before=$(shot before_typing)
typed 'hello 2+3'
keys Return
if wait_rx "$(printf 'hello 2+3\r' | od -An -tx1 | tr -d ' \n')" 5000; then
  pass typed_characters_reach_the_device
else
  fail typed_characters_reach_the_device "device got $(dev_rx)"
fi
sleep 0.3
after=$(shot after_typing)
n=$(diff_view "$before" "$after" 0 0)
check typing_without_local_echo_draws_nothing "$n pixels changed" test "$n" -eq 0

# Ctrl+F8 receives with YMODEM: its start 'C' goes out at once, a key typed
# meanwhile is not sent, F8 sends CAN five times and the screen says
# "Aborted".
typed_hex=$(printf 'hello 2+3\r' | od -An -tx1 | tr -d ' \n')
keys ctrl+F8
check ymodem_receive_starts "device got $(dev_rx)" wait_rx "${typed_hex}43" 5000
typed z
keys F8
for _ in $(seq 60); do [[ $(dev_rx) == *1818181818 ]] && break; sleep 0.05; done
check f8_cancels_ymodem "device got $(dev_rx)" eval '[[ $(dev_rx) =~ ^${typed_hex}(43)+1818181818$ ]]'
check ymodem_aborted_on_screen "" eval 'screen_text | tr -d "\r" | grep -qx Aborted'
erase_screen

# What the device sends is drawn cell by cell: text where the grid holds
# characters, background everywhere else (the caret's cell aside).
dev_send 'HELLO\rWORLD'
sleep 0.8
s=$(shot device_text)
bad=""
for c in 0 1 2 3 4; do
  [ "$(ink "$s" 0 "$c")" -gt 4 ] || bad+=" 0:$c"
  [ "$(ink "$s" 1 "$c")" -gt 4 ] || bad+=" 1:$c"
done
check device_text_drawn_in_its_cells "blank cells:$bad" test -z "$bad"
rest=$(ink_except "$s" 0:0 0:1 0:2 0:3 0:4 1:0 1:1 1:2 1:3 1:4 1:5 1:6)
check background_outside_the_text "$rest text pixels elsewhere" test "$rest" -eq 0
# The same character looks the same in every cell, different ones do not.
check same_letters_same_glyphs "L L O O" test "$(same_cell "$s" 0 2 0 3)" -eq 0 -a "$(same_cell "$s" 0 3 1 3)" -eq 0 \
  -a "$(same_cell "$s" 0 4 1 1)" -eq 0
check different_letters_different_glyphs "H W" test "$(same_cell "$s" 0 0 1 0)" -gt 0
# The caret: a solid block of one cell, one pixel right of the cursor cell
# (row 1, column 5 now), blinking. The pause between shots varies, so that
# shots taken at the blink's own period cannot all fall in its dark half.
caret=0
for i in $(seq 20); do
  c=$(shot caret)
  n=$("$ZW_TOOLS/imgcheck" ink "$c" $(($(cell_x 5) + 1)) "$(cell_y 1)" "$ZW_CX" "$ZW_CY")
  [ "$n" -eq $((ZW_CX * ZW_CY)) ] && caret=$((caret + 1))
  sleep "0.$((i * 7 % 9 + 1))"
done
check caret_block_on_the_cursor_cell "seen in $caret of 20 shots" test "$caret" -gt 0
save_png "$s" zelto
check screenshot_saved "$ZW_SHOTS/zelto.png" test -s "$ZW_SHOTS/zelto.png"

# Config > VT100 Emulation (its command posted): a device's red word is drawn
# red, not as an ESC glyph and its digits.
probe post 0x111 342 0 >/dev/null
dev_send '\033[1;31mRED WORD\033[0m in VT100\r\n'
for _ in $(seq 10); do
  sleep 0.3
  red=$("$ZW_TOOLS/imgcheck" colours "$(shot vt100-red)" "$(field x "$ZW_WINDOW")" "$(field y "$ZW_WINDOW")" \
    "$(field w "$ZW_WINDOW")" "$(field h "$ZW_WINDOW")")
  [ "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100 ] && break
done
check vt100_menu_red_word_drawn_red "$red" test "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100

zw_finish
