#!/usr/bin/env bash
# End to end: a commented FORTH program uploaded line by line (F7) to gforth on COM1, the file chosen with F1 in the file dialog, the answers recorded (F9) with a pause marker (F11) and the record closed (F12); "Terminal" during the send is refused with its message box. Then a program of over 200 lines with an include goes up paced by gforth's replies (Shift+F7) and a word from its end answers, and the board cases of tests/support/forth_board.sh run; the window after the last of their uploads is kept as forth-paced-upload.png.
. "$ZG_LIB"

# gforth on a terminal of its own, bridged to a pseudo-terminal for COM1.
fdev=$ZG_WORK/forth
mkdir -p "$fdev"
: >"$fdev/ack"
"$ZG_TOOLS/ptydev" --link "$fdev/link" --ack "$fdev/ack" --rx "$fdev/rx.bin" --tx "$fdev/tx.bin" --run gforth >"$fdev/log" 2>&1 </dev/null &
echo $! >>"$ZG_OUT/started.pids"
for _ in $(seq 100); do [ -s "$fdev/link" ] && break; sleep 0.02; done
fpty=$(tr -d '\n' <"$fdev/link")

# CR line ends, as the delimiter 0D expects, with both comment kinds that
# mode 2 leaves out.
printf ': SQ DUP * ;   ( n -- n*n )\r// a comment line\r7 SQ .   // 49\r' >"$ZG_WORK/square.fs"

zelto_start --com "1=$fpty" || { fail forth_window_opens "no window"; zg_finish; }
sleep 1   # the FORTH greeting arrives

# F1: the file dialog, as a person uses it: type the path, Enter.
choose_send_file() {
  keys F1
  wait_windows Open 1 5000 || return 1
  sleep 0.5
  typed "$1"
  sleep 0.3
  keys Return
  sleep 0.5
  focus_main
}
if choose_send_file "$ZG_WORK/square.fs"; then
  pass forth_f1_opens_the_file_dialog
  check forth_file_dialog_closes "" test "$(windows Open)" -eq 0
else
  fail forth_f1_opens_the_file_dialog "no dialog titled Open"
fi
focus_main

keys F9   # record what the device answers
sleep 0.3
keys F7   # opens the file: "Sending"
sleep 0.5
keys F7   # line 1, without its comment
sleep 1
# "Terminal" while the send runs is refused with a message box.
menu_item 3 37
if wait_windows 'Zelto v3\.16' 2 3000; then
  pass forth_terminal_refused_during_send
  shot refused >/dev/null
  keys Return
  sleep 0.3
else
  fail forth_terminal_refused_during_send "no message box"
fi
check forth_setup_did_not_open "" test "$(windows Setup)" -eq 0
focus_main
keys F11  # pause the record: its marker
sleep 0.5
keys F7   # line 2: a comment line, nothing goes out
sleep 0.8
keys F9   # record again
sleep 0.3
keys F7   # line 3
sleep 1.5
keys F7   # end of the file
sleep 0.8
keys F12  # close the record file
sleep 0.8

sent=$(tr '\r' '|' <"$fdev/rx.bin")
check forth_lines_sent_without_comments "device got: $sent" test "$sent" = ": SQ DUP * ;   |7 SQ .   |"
rec=$(tr -d '\r' <"$ZG_APP/ZELTO.REC" 2>/dev/null | tr '\n' '|')
check forth_word_gives_the_right_answer "record: $rec" grep -q ' 49  ok' <<<"$rec"
check forth_record_has_the_pause_marker "record: $rec" grep -q -- '-PaUsE-.* 49  ok' <<<"$rec"
s=$(shot forth-upload)
check forth_answer_drawn "" test "$(ink "$s" 0 25 640 200)" -gt 1500

# Shift+F7: over 200 lines, comments left out, paced by the replies.
. "$ZG_ROOT/tests/support/forth_program.sh"
forth_program "$ZG_WORK/prog" 0
choose_send_file "$ZG_WORK/prog/main.fs"
: >"$fdev/rx.bin"
keys F9
sleep 0.3
keys shift+F7
for _ in $(seq 300); do grep -q '6 7 \*' "$fdev/rx.bin" && break; sleep 0.1; done
sleep 1
rx=$(tr '\r' '\n' <"$fdev/rx.bin")
check forth_paced_upload_sent_every_line "$(grep -c . <<<"$rx") lines" test "$(grep -c . <<<"$rx")" = 142
check forth_paced_upload_left_out_comments "" test "$(grep -c '\\\|( \|//\|#include' <<<"$rx")" = 0
typed "answer ."
keys Return
sleep 1
keys F12
sleep 0.5
rec=$(tr -d '\r' <"$ZG_APP/ZELTO.REC" 2>/dev/null)
check forth_paced_word_answers "record: $(tail -c 300 <<<"$rec" | tr '\n' '|')" grep -q 'answer \. 42  ok' <<<"$rec"
check forth_paced_no_error "" test "$(grep -c 'Undefined word' <<<"$rec")" = 0

# An undefined word stops the upload at its line: nothing after it goes out.
printf '1 drop\rno-such-word\r2 drop\r' >"$ZG_WORK/prog/err.fs"
choose_send_file "$ZG_WORK/prog/err.fs"
: >"$fdev/rx.bin"
keys shift+F6
sleep 2
check forth_paced_stops_at_the_error "device got: $(tr '\r' '|' <"$fdev/rx.bin")" \
  test "$(tr '\r' '|' <"$fdev/rx.bin")" = "1 drop|no-such-word|"
keys F8
sleep 0.5

paste_text() {
  printf '%s' "$1" | xclip -i -selection clipboard
  keys ctrl+shift+v
}
BOARD_DIR=$ZG_WORK/board BOARD_RX=$fdev/rx.bin BOARD_TX=$fdev/tx.bin
. "$ZG_ROOT/tests/support/forth_board.sh"
board_cases
# The picture of the native program after a paced upload, for the README.
import -window "$(main_window)" "$ZG_SHOTS/forth-paced-upload.png" 2>/dev/null
zg_finish
