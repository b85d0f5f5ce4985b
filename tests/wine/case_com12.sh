#!/usr/bin/env bash
# End to end: ZELTO.INI's [serial] device = COM12 (the device under a name of two digits) at 921600 baud: the program opens it and says so, typed keys reach the device and its bytes are drawn; the Options dialog shows the port and refuses NUL, naming the row.
. "$ZW_LIB"

zelto_dir
printf '[serial]\r\ndevice = COM12\r\nbaud = 921600\r\n' >"$ZW_APP/ZELTO.INI"
zelto_start unconnected || { fail com12_window_opens "no window"; exit 1; }
wait_foreground 5000
# wait_screen TEXT: until the screen holds it (the screen's text in $text).
wait_screen() { for _ in $(seq 50); do text=$(screen_text) && [[ $text == *"$1"* ]] && return; sleep 0.1; done; }
wait_screen "921600 baud-"
check com12_opened_at_921600 "screen: $text" grep -qE '^-COM12 is .+, 921600 baud-' <<<"$text"
check com12_opens_without_message "$(probe dialogs)" test -z "$(probe dialogs)"
erase_screen
typed 'abc'
if wait_rx 616263 5000; then pass com12_typed_keys_reach_device; else fail com12_typed_keys_reach_device "device got $(dev_rx)"; fi
dev_send 'from COM12'
wait_screen 'from COM12'
check com12_device_bytes_drawn "screen: $text" grep -q 'from COM12' <<<"$text"

# Options: the device row (910) holds the port; NUL is refused with a box
# that names the row and what it takes, and the dialog stays.
menu 3 1
box=$(probe wait-dialog Options 5000)
row=$(grep -E '^  item id=910 ' <<<"$box")
shown="$(field text "$(probe text Options 910)") $(field text "$(probe text Options 911)")"
check com12_options_shows_port_and_rate "\"$shown\"" test "$shown" = "COM12 921600"
xdotool mousemove $(($(field x "$row") + 20)) $(($(field y "$row") + $(field h "$row") / 2)) click 1
sleep 0.2
keys End shift+Home
typed NUL
keys Return
msg=$(probe wait-dialog "Zelto v3.16" 5000)
check com12_options_refuses_nul "$msg" grep -qF \
  "text=\"Serial port (empty: Setup's):\\ntakes a port from COM1 to COM256, or nothing for the Setup dialog's port.\"" \
  <<<"$msg"
probe press "Zelto v3.16" 1 >/dev/null
probe wait-gone "Zelto v3.16" 3000 >/dev/null
check com12_options_stays_after_refusal "$(probe dialogs)" probe wait-dialog Options 2000
keys Escape
probe wait-gone Options 3000 >/dev/null

zw_finish
