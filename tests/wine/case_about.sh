#!/usr/bin/env bash
# End to end: "Info" opens the about box "about  Zelto v3.16" owned by the main window; Esc and the function keys do nothing there, its OK button closes it and the terminal works on.
. "$ZW_LIB"

caption="about  Zelto v3.16"
zelto_start || { fail about_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000

# Info is the fifth entry of the menu bar, a command of its own.
menu 4
box=$(probe wait-dialog "$caption" 5000)
if [ $? -eq 0 ]; then pass about_box_opens_from_info; else fail about_box_opens_from_info "$box"; fi
item() { grep -E "^  item id=$1 " <<<"$box"; }
check about_box_owned_by_main_window "$(head -n 1 <<<"$box")" grep -q '^dialog .*owner=main' <<<"$box"
check about_box_program_line "$(item 402)" test "$(field text "$(item 402)")" = "Zelto v3.16 Terminal for RS-232 and UDP"
check about_box_ok_button "$(item 1)" test "$(field text "$(item 1)")" = OK
check about_box_feature_lines "" grep -qF 'text="Upload of Scripts, esp.FORTH programming: file can be sent '"'Line' by 'Line'"' (KEY F6/F7)"' <<<"$box"
style=$(field style "$(head -n 1 <<<"$box")")
check about_box_has_no_system_menu "style $style" test $((style & 0x00080000)) -eq 0
fits=$(probe fit "$(sed 's|/|\\|g' <<<"Z:$ZW_APP/ZELTO.EXE")" 100)
cut=$(grep -E '^(fit .*whole=0|error)' <<<"$fits")
check about_box_texts_whole "${cut:-$fits}" test -z "$cut" -a "$(grep -c '^fit ' <<<"$fits")" -ge 13
s=$(shot about_box)
mkdir -p "$ZW_SHOTS"
bx=$(field x "$(head -n 1 <<<"$box")") by=$(field y "$(head -n 1 <<<"$box")")
bw=$(field w "$(head -n 1 <<<"$box")") bh=$(field h "$(head -n 1 <<<"$box")")
/usr/bin/convert "$s" -crop "${bw}x${bh}+${bx}+${by}" +repage "$ZW_SHOTS/about.png"

# Esc (IDCANCEL) does not close it; F3 inside the modal box is no command.
keys Escape
keys F3
sleep 0.6
check about_box_esc_does_not_close "" probe wait-dialog "$caption" 0 >/dev/null

# A click on OK closes it.
ok=$(item 1)
xdotool mousemove $(($(field x "$ok") + $(field w "$ok") / 2)) $(($(field y "$ok") + $(field h "$ok") / 2)) click 1
if probe wait-gone "$caption" 5000 >/dev/null; then pass about_box_ok_closes; else fail about_box_ok_closes "still open"; fi

# The main window has the keyboard again, and the stream is still shown.
wait_foreground 3000
typed 'z'
if wait_rx 7a 5000; then pass keys_reach_the_link_after_about_box; else fail keys_reach_the_link_after_about_box "device got $(dev_rx)"; fi
dev_send 'Q'
sleep 0.6
s=$(shot after_about)
check function_keys_not_translated_in_about_box "cell 0:0 $(ink "$s" 0 0) pixels" test "$(ink "$s" 0 0)" -gt 4

# The template as the executable holds it.
res=$ZW_WORK/resources.txt
probe resources "$(sed 's|/|\\|g' <<<"Z:$ZW_APP/ZELTO.EXE")" >"$res"
dlg=$(grep '^dialog id=100 ' "$res")
check about_template_frame_and_font "$dlg" \
  grep -qE '^dialog id=100 title="about  Zelto v3.16" x=25 y=5 w=320 h=190 .* font="Helv" 8$' <<<"$dlg"
check about_template_ok_default_button "" \
  grep -qE '^  dlgitem dialog=100 id=1 class=BUTTON text="OK" x=230 y=5 w=40 h=14 style=0x5...0001 ' "$res"
check about_template_program_line "" \
  grep -qE '^  dlgitem dialog=100 id=402 class=STATIC text="Zelto v3.16 Terminal for RS-232 and UDP" x=45 y=5 w=157 h=10 ' "$res"
texts=$(grep -cE '^  dlgitem dialog=100 id=-1 class=STATIC text="[^"]+"' "$res")
check about_template_twelve_text_lines "$texts" test "$texts" -eq 12
noprefix=$(grep -E '^  dlgitem dialog=100 .*class=STATIC text="[^#"][^"]*"' "$res" | grep -cvE 'style=0x......8.')
check about_texts_show_ampersands_literally "$noprefix without SS_NOPREFIX" test "$noprefix" -eq 0

zw_finish
