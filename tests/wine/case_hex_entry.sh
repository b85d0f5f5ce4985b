#!/usr/bin/env bash
# End to end: hex entry with local echo (from a preset file): two digits and a blank or Enter send one byte and echo it; a bad key shows "?" and sends nothing.
. "$ZW_LIB"

zelto_dir
preset_write "$ZW_APP/ZELTO.SET" hexenter=1 echo=1
zelto_start || { fail hex_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000

typed '41 '
if wait_rx 41 5000; then pass hex_41_blank_sends_0x41; else fail hex_41_blank_sends_0x41 "device got $(dev_rx)"; fi
typed 'aB'
keys Return
if wait_rx 41ab 5000; then pass hex_aB_enter_sends_0xab; else fail hex_aB_enter_sends_0xab "device got $(dev_rx)"; fi
typed '412'
sleep 0.6
check hex_three_digits_send_nothing "device got $(dev_rx)" test "$(dev_rx)" = 41ab
typed '20 '
if wait_rx 41ab20 5000; then
  pass hex_new_byte_after_reject
else
  fail hex_new_byte_after_reject "device got $(dev_rx)"
fi
typed 'g'
keys space
sleep 0.6
check hex_bad_key_and_lone_blank_send_nothing "device got $(dev_rx)" test "$(dev_rx)" = 41ab20

# The screen now holds, from column 0: the echoes A, 0xAB, then "?" for the
# third digit, the echoed blank 0x20, "?" for g and "?" for the lone blank.
# The device then sends "A?" to compare the glyphs with.
dev_send 'A?'
sleep 0.8
s=$(shot hex_screen)
check hex_echo_shows_the_byte_sent "A echoed vs A received: $(same_cell "$s" 0 0 0 6) pixels differ" \
  test "$(same_cell "$s" 0 0 0 6)" -eq 0 -a "$(ink "$s" 0 0)" -gt 4
bad=""
for c in 2 4 5; do [ "$(same_cell "$s" 0 "$c" 0 7)" -eq 0 ] || bad+=" 0:$c"; done
check hex_bad_keys_show_question_mark "cells not '?':$bad" test -z "$bad" -a "$(ink "$s" 0 7)" -gt 4
check hex_echoed_blank_is_blank "" test "$(ink "$s" 0 3)" -eq 0
check hex_digits_typed_are_not_echoed "A and ? differ" test "$(same_cell "$s" 0 0 0 7)" -gt 0
rest=$(ink_except "$s" 0:0 0:1 0:2 0:3 0:4 0:5 0:6 0:7 0:8 0:9)
check hex_nothing_else_drawn "$rest text pixels elsewhere" test "$rest" -eq 0

zw_finish
