#!/usr/bin/env bash
# End to end: the main window and its menu, typed keys at the device, device bytes drawn, function keys only in the main window, the Setup dialog changing the rate and switching to UDP, saved and in effect, and the Options dialog refusing a bad number and saving good values into ZELTO.INI, the status bar shown and hidden at once as its option changes, and Config > VT100 Emulation drawing a device's red word red.
. "$ZG_LIB"

# YMODEM's receive folder, should one be made: this case's own.
export XDG_DOWNLOAD_DIR=$ZG_APP/downloads
zelto_start || { fail window_opens "no window titled Zelto v3.16"; zg_finish; }
pass window_opens

# The menu bar and one of its menus, drawn over the still empty view.
s=$(shot empty)
blank=$(ink "$s" 10 40 400 180)
click_at "${ZG_MENU_X[2]}" 12
sleep 0.5
s=$(shot menu)
keys Escape
check window_menu_drawn "ink $(ink "$s" 110 30 370 190) over the empty view's $blank" \
  test "$(ink "$s" 110 30 370 190)" -gt $((blank + 2000))
focus_main

# Typed keys go out as the character message gives them: letters, Enter
# 0x0D, Backspace 0x08, Ctrl+C 0x03.
typed "ab"
keys Return BackSpace ctrl+c
check window_typed_keys_reach_the_device "device got $(dev_rx)" wait_rx 61620d0803

# Ctrl+F8 receives with YMODEM: its start 'C' goes out at once; a key typed
# meanwhile is not sent; F8 tells the device with CAN five times and the
# screen says "Aborted".
keys ctrl+F8
check window_ymodem_receive_starts "device got $(dev_rx)" wait_rx 61620d080343
typed "z"
keys F8
for _ in $(seq 60); do [[ $(dev_rx) == *1818181818 ]] && break; sleep 0.05; done
check window_f8_cancels_ymodem "device got $(dev_rx)" eval '[[ $(dev_rx) =~ ^61620d0803(43)+1818181818$ ]]'
check window_ymodem_aborted_on_screen "" eval 'screen_text | grep -qx Aborted'
erase_screen   # the checks below look for ink at the top of the view

# Bytes from the device are drawn in the view, below the open's text.
before=$(ink "$(shot before-rx)" 0 25 400 60)
dev_send 'DEVICE TEXT DRAWN HERE\r\n'
sleep 0.5
after=$(ink "$(shot after-rx)" 0 25 400 60)
check window_device_bytes_drawn "ink $before before, $after after" test "$after" -gt $((before + 200))

# F12 writes its status text; inside the about box it does nothing.
base=$(ink "$(shot before-about)" 0 25 640 80)
click_at "${ZG_MENU_X[4]}" 12
wait_windows 'about  Zelto v3\.16' 1 3000 || fail window_about_opens "no about box"
keys F12
keys Escape   # the about box stays open: only OK closes it
sleep 0.3
check window_about_stays_on_escape "" test "$(windows 'about  Zelto v3\.16')" -eq 1
keys Return
sleep 0.5
check window_about_closes_with_ok "" test "$(windows 'about  Zelto v3\.16')" -eq 0
focus_main
quiet=$(ink "$(shot f12-in-dialog)" 0 25 640 80)
keys F12
sleep 0.5
loud=$(ink "$(shot f12-in-window)" 0 25 640 80)
check window_function_keys_only_in_main_window "ink $base, $quiet after F12 in the box, $loud after F12 in the window" \
  test "$loud" -gt $((quiet + 300)) -a "$quiet" -le $((base + 50))

# Setup: 230.4k and UDP with a receive port of this test, then Save Setup.
port=$((20000 + RANDOM % 20000))
check window_setup_to_udp_and_230400_baud "" setup_udp "$port" faster
# Options (Config, below Terminal): "Reply timeout (ms)" and "Status bar",
# found where GTK lays them out. A bad number brings a box and keeps the
# dialog; OK then stores nothing, Cancel neither.
ini=$ZG_APP/ZELTO.INI
saved() { focus_main; menu_item 3 "$ZG_SAVE_Y"; [ "$(grep -cxE "$1|$2" "$ini" 2>/dev/null)" = 2 ]; }
options() {  # options TIMEOUT: types it, ticks the status bar, then OK
  focus_main
  menu_item 3 "$ZG_OPTIONS_Y"
  wait_windows Options 1 3000 || return 1
  sleep 0.3
  shot "options-$1" >/dev/null
  local d
  d=$(xdotool search --onlyvisible --name '^Options$' | head -n 1)
  at() { xdotool mousemove --window "$d" "$1" "$2" click 1; sleep 0.3; }
  row() { echo $((27 + 40 * $1)); }   # GTK lays the rows 40 pixels apart
  at 264 "$(row 3)"   # the timeout
  keys ctrl+a
  typed "$1"
  at 232 "$(row 8)"   # the status bar
  keys alt+o   # OK, by its mnemonic
  sleep 0.5
}
options 50 || fail window_options_opens "no dialog titled Options"
check window_options_bad_number_box "" test "$(windows 'Zelto v3\.16')" -eq 2 -a "$(windows Options)" -eq 1
keys Return   # the box's OK
sleep 0.3
check window_options_stays_after_bad_number "" test "$(windows 'Zelto v3\.16')" -eq 1 -a "$(windows Options)" -eq 1
keys Escape
sleep 0.3
check window_options_refused_changes_nothing "see $ini" saved "timeout_ms = 5000" "status_bar = 0"
bottom() {  # bottom NAME: ink along the bottom of the main window
  local s
  s=$(shot "$1")
  eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
  ink "$s" 0 $((HEIGHT - 18)) 400 18
}
check window_no_status_bar_yet "" test "$(bottom no-bar)" -lt 50
options 2500
check window_status_bar_shown_at_once "" test "$(bottom bar-on)" -gt 200
check window_options_saved "see $ini" saved "timeout_ms = 2500" "status_bar = 1"
options 2500   # the status bar ticked off again
check window_status_bar_gone_at_once "" test "$(bottom bar-off)" -lt 50
set=$ZG_APP/ZELTO.SET
check window_save_setup_writes_630_bytes "$(ls -l "$set" 2>&1)" test "$(stat -c %s "$set" 2>/dev/null)" = 630
rec=$(od -An -v -tu1 -j0 -N7 "$set" 2>/dev/null | xargs)
check window_setup_rate_saved "first bytes: $rec" test "$(cut -d' ' -f3 <<<"$rec")" = 96
check window_setup_udp_saved "first bytes: $rec" test "$(cut -d' ' -f7 <<<"$rec")" = 1
check window_setup_rx_port_saved "" test "$(dd if="$set" bs=1 skip=46 count=5 2>/dev/null)" = "$port"

# The UDP link is open on that port: a datagram to it is drawn.
keys F12
sleep 0.3
before=$(ink "$(shot before-udp)" 0 40 640 160)
wait_udp_bound "$port" zelto
printf 'UDP DATAGRAM DRAWN HERE\r\n' >"/dev/udp/127.0.0.1/$port"
for _ in $(seq 10); do   # drawn at the next frame; a loaded machine may take a while
  sleep 0.3
  after=$(ink "$(shot after-udp)" 0 40 640 160)
  [ "$after" -gt $((before + 200)) ] && break
done
check window_udp_datagram_drawn "ink $before before, $after after" test "$after" -gt $((before + 200))

# On UDP the modem items are greyed: the darkest pixel of their rows (in %
# of white) is light, while the text of "Save Setup" below them is dark.
click_at "${ZG_MENU_X[3]}" 12
sleep 0.5
m=$(shot menu-udp)
keys Escape
darkest() { convert "$m" -crop "$1" +repage -colorspace gray -format "%[fx:int(100*minima)]" info:; }
grey=$(darkest 110x68+232+131) save=$(darkest 110x18+232+207)
check window_modem_items_greyed_on_udp "darkest: items $grey %, Save Setup $save %" \
  test "$grey" -gt 40 -a "$save" -lt 30

# Config > VT100 Emulation (below Erase Screen): a device's red word is drawn
# red, not as an ESC glyph and its digits.
focus_main
menu_item 3 "$ZG_VT100_Y"
printf '\033[1;31mRED WORD\033[0m in VT100\r\n' >"/dev/udp/127.0.0.1/$port"
for _ in $(seq 10); do
  sleep 0.3
  red=$("$ZG_TOOLS/imgcheck" colours "$(shot vt100-red)" 0 25 640 100)
  [ "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100 ] && break
done
check window_vt100_red_word_drawn_red "$red" test "$(sed -nE 's/.*red=([0-9]+).*/\1/p' <<<"$red")" -gt 100

zg_finish
