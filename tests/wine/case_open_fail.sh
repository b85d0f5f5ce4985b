#!/usr/bin/env bash
# End to end: a COM1 that cannot be opened brings "Cannot open COM1 @ 115200 baud" with the system's reason under it and the error icon; the window then works, and typing sends and shows nothing.
# zw-com1: missing
. "$ZW_LIB"

zelto_start unconnected || { fail open_fail_window_appears "no window"; exit 1; }
box=$(probe wait-dialog "Zelto v3.16" 10000)
if [ $? -eq 0 ]; then pass open_fail_message_box_appears; else fail open_fail_message_box_appears "$box"; fi
text=$(grep -E '^  item .*class="Static"' <<<"$box" | grep -v 'icon=1' | while IFS= read -r l; do field text "$l"; echo; done | grep -v '^$')
check open_fail_text "\"$text\"" test "${text%%\\n*}" = "Cannot open COM1 @ 115200 baud"
# The system's reason under it, with its error number.
check open_fail_reason_under_it "\"$text\"" grep -qE '^Cannot open COM1 @ 115200 baud\\nCOM1: .+ \(error [0-9]+\)$' <<<"$text"
check open_fail_caption "" grep -q '^dialog caption="Zelto v3.16" ' <<<"$box"
icon=$(grep -E '^  item .*icon=1' <<<"$box")
check open_fail_has_an_icon "" test -n "$icon"
# The error icon is the red one (a warning would be yellow).
s=$(shot open_fail_box)
colours=$("$ZW_TOOLS/imgcheck" colours "$s" "$(field x "$icon")" "$(field y "$icon")" "$(field w "$icon")" "$(field h "$icon")")
red=$(sed -E 's/.*red=([0-9]+).*/\1/' <<<"$colours") yellow=$(sed -E 's/.*yellow=([0-9]+).*/\1/' <<<"$colours")
check open_fail_error_icon "$colours" test "$red" -gt 50 -a "$yellow" -lt 10
mkdir -p "$ZW_SHOTS"
/usr/bin/convert "$s" -crop 1024x768+0+0 +repage "$ZW_SHOTS/cannot_open.png"

focus_desktop
ok=$(grep -E '^  item id=1 ' <<<"$box")
xdotool mousemove $(($(field x "$ok") + $(field w "$ok") / 2)) $(($(field y "$ok") + $(field h "$ok") / 2)) click 1
if probe wait-gone "Zelto v3.16" 5000 >/dev/null; then pass open_fail_box_closes_with_ok; else fail open_fail_box_closes_with_ok "still open"; fi

if wait_foreground 5000; then
  pass open_fail_window_shown_and_active
else
  fail open_fail_window_shown_and_active "$ZW_WINDOW"
fi
check open_fail_window_title "$ZW_WINDOW" test "$(field title "$ZW_WINDOW")" = "Zelto v3.16" -a "$(field visible "$ZW_WINDOW")" = 1

before=$(shot before_typing)
typed 'abc'
keys Return
sleep 0.8
after=$(shot after_typing)
n=$("$ZW_TOOLS/imgcheck" diff "$before" "$after" "$(field clientx "$ZW_WINDOW")" "$(field clienty "$ZW_WINDOW")" \
  "$(field clientw "$ZW_WINDOW")" "$(field clienth "$ZW_WINDOW")")
check typing_unconnected_draws_nothing "$n pixels changed" test "$n" -eq 0
check typing_unconnected_shows_no_message "$(probe dialogs)" test -z "$(probe dialogs)"
check typing_unconnected_sends_nothing "device got $(dev_rx)" test -z "$(dev_rx)"

# The menus still work: the about box opens and Enter presses its OK.
menu 4
if probe wait-dialog "about  Zelto v3.16" 5000 >/dev/null; then
  keys Return
  probe wait-gone "about  Zelto v3.16" 5000 >/dev/null
  check open_fail_menus_still_work "about box did not close with Enter" test $? -eq 0
else
  fail open_fail_menus_still_work "no about box"
fi

menu 0 0 1
if zelto_wait_exit 10000; then
  check open_fail_exit_code_0 "exit code $ZW_EXIT" test "$ZW_EXIT" -eq 0
else
  fail open_fail_exit_code_0 "still running"
fi

zw_finish
