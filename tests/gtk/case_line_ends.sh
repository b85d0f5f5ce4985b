#!/usr/bin/env bash
# End to end: with "New line on LF" and "Time stamps" (from ZELTO.INI), a device's "a\nb\nc\n" shows on three rows, each a time stamp and its letter; the status bar shows under the view; the Config menu holds DTR, RTS and Send Break.
. "$ZG_LIB"

printf '[terminal]\nnewline_on_lf = 1\ntimestamps = 1\nstatus_bar = 1\n' >"$ZG_APP/ZELTO.INI"
zelto_start || { fail line_ends_window_opens "no window titled Zelto v3.16"; zg_finish; }
pass line_ends_window_opens
erase_screen

dev_send 'a\nb\nc\n'
sleep 0.8
s=$(shot line_ends)
# The bands of pixel rows with text below the menu bar, each with ink as
# far as a stamp and a letter reach (some 14 cells) and none past them; the
# caret stands in column 0 of the fourth row.
bands=0
inside=0
wide=0
for y in $(seq 25 160); do
  if [ "$(ink "$s" 16 "$y" 400 1)" -gt 0 ]; then   # right of the caret (past the margin)
    if [ "$inside" = 0 ]; then
      bands=$((bands + 1))
      inside=1
    fi
  else
    inside=0
  fi
done
for y in $(seq 25 160); do [ "$(ink "$s" 70 "$y" 50 1)" -gt 0 ] && wide=1 && break; done
check line_ends_three_rows "$bands rows of text" test "$bands" -eq 3
check line_ends_rows_begin_with_a_time_stamp "" test "$wide" -eq 1 -a "$(ink "$s" 140 25 500 140)" -eq 0

# The status bar: text along the bottom of the window.
eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
check line_ends_status_bar_shown "" test "$(ink "$s" 0 $((HEIGHT - 18)) 400 18)" -gt 200

# The Config menu, opened: below "Erase Screen" and "VT100 Emulation" come DTR, RTS and Send Break,
# so it reaches well below where "Save Setup" used to end it.
closed=$(ink "$(shot menu-closed)" 200 125 150 30)
click_at "${ZG_MENU_X[3]}" 12
sleep 0.5
m=$(shot menu-config)
open=$(ink "$m" 200 125 150 30)
keys Escape
check line_ends_config_menu_has_modem_items "ink $closed closed, $open open" test "$open" -gt $((closed + 100))
# On a serial link they are not greyed: "Send Break" is as dark as any item.
darkest=$(convert "$m" -crop 110x18+232+181 +repage -colorspace gray -format "%[fx:int(100*minima)]" info:)
check line_ends_modem_items_enabled_on_serial "darkest of Send Break: $darkest %" test "$darkest" -lt 30

zg_finish
