#!/usr/bin/env bash
# End to end: a FORTH program uploaded line by line (F7, comments left out) to a real FORTH system on COM1, recorded with F9 to F12; the word it defined then gives the right answer. F1 picks the file through the real open dialog, "Terminal" during the send is refused, and F5 sends a file raw. Then a program of over 200 lines with an include and block comments goes up paced by the replies (Shift+F7), and a word from its end answers, and the board cases of tests/support/forth_board.sh run; the window after the last of their uploads is kept as forth-paced-upload.png.
. "$ZW_LIB"

zelto_dir

# The device: gforth on a terminal of its own, bridged to a pseudo-terminal
# that becomes COM1 for this case (run.sh maps COM1 back afterwards).
fdev=$ZW_WORK/forth
mkdir -p "$fdev"
: >"$fdev/ack"
"$ZW_TOOLS/ptydev" --link "$fdev/link" --ack "$fdev/ack" --rx "$fdev/rx.bin" --tx "$fdev/tx.bin" --run gforth >"$fdev/log" 2>&1 </dev/null &
echo $! >>"$ZW_OUT/started.pids"
for _ in $(seq 100); do [ -s "$fdev/link" ] && break; sleep 0.02; done
fpty=$(tr -d '\n' <"$fdev/link")
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$fpty" /f >"$ZW_WORK/reg.log" 2>&1 </dev/null
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
wineserver -f -p >/dev/null 2>&1 </dev/null &
echo $! >>"$ZW_OUT/started.pids"
ZW_DEV_ACK=$fdev/ack

# The program, CR line ends as the delimiter 0D expects, with both comment
# kinds that mode 2 leaves out (each runs to the end of its line).
printf ': SQ DUP * ;   ( n -- n*n )\r// a comment line\r7 SQ .   // 49\r' >"$ZW_APP/square.fs"
printf 'raw file bytes\r' >"$ZW_APP/raw.txt"
winpath() { echo "Z:${1//\//\\}"; }
preset_write "$ZW_APP/ZELTO.SET" delay=1 skip=1 send="$(winpath "$ZW_APP/raw.txt")" rec="$(winpath "$ZW_APP/ZELTO.REC")"

zelto_start || { fail forth_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000
sleep 1   # the FORTH greeting arrives

# F1: the open dialog, as a person uses it: type the file name, Enter.
keys F1
if dlg=$(probe wait-dialog "Open" 10000); then
  pass forth_f1_opens_the_file_dialog
  sleep 0.5
  keys ctrl+a
  typed "$(winpath "$ZW_APP/square.fs")"
  keys Return
  probe wait-gone "Open" 5000 >/dev/null
else
  fail forth_f1_opens_the_file_dialog "$(probe dialogs)"
fi

keys F9   # record what the device answers
sleep 0.3
keys F7   # opens the file: "Sending"
sleep 0.5
keys F7   # line 1, without its comments
sleep 1
# "Terminal" while the send runs is refused.
menu 3 0
if box=$(probe wait-dialog "Zelto v3.16" 5000); then
  check forth_terminal_refused_during_send "$box" grep -q 'text="First terminate\\nFile Transfer !"' <<<"$box"
  keys Return
  probe wait-gone "Zelto v3.16" 3000 >/dev/null
else
  fail forth_terminal_refused_during_send "no message: $(probe dialogs)"
fi
check forth_setup_did_not_open "" test -z "$(probe dialogs | grep 'caption="Setup"')"
wait_foreground 3000
keys F7   # line 2: a comment line, nothing goes out
sleep 0.8
keys F7   # line 3
sleep 1.5
keys F7   # end of the file
sleep 0.8
keys F12  # close the record file
sleep 0.8

sent=$(tr '\r' '|' <"$fdev/rx.bin")
check forth_lines_sent_without_comments "device got: $sent" test "$sent" = ": SQ DUP * ;   |7 SQ .   |"
rec=$(tr -d '\r' <"$ZW_APP/ZELTO.REC" 2>/dev/null | tr '\n' '|')
check forth_word_gives_the_right_answer "record: $rec" grep -q ' 49  ok' <<<"$rec"
check forth_definition_accepted "record: $rec" grep -vq 'Undefined word' <<<"$rec"

# F5: a file sent raw with the per-byte delay (the path from the dialog).
: >"$fdev/rx.bin"
printf 'CR .( raw-sent) CR\r' >"$ZW_APP/square.fs"
keys F5
sleep 2
check forth_f5_sends_the_file_raw "device got: $(tr '\r' '|' <"$fdev/rx.bin")" \
  test "$(tr '\r' '|' <"$fdev/rx.bin")" = "CR .( raw-sent) CR|"

s=$(shot forth)
save_png "$s" forth-upload

# F1, the file typed into the open dialog, back to the main window.
choose_send_file() {
  keys F1
  if probe wait-dialog "Open" 10000 >/dev/null; then
    sleep 0.5
    keys ctrl+a
    typed "$(winpath "$1")"
    keys Return
    probe wait-gone "Open" 5000 >/dev/null
  fi
  wait_foreground 3000
}
# Shift+F7: over 200 lines, comments left out, paced by the replies.
. "$ZW_ROOT/tests/support/forth_program.sh"
forth_program "$ZW_APP/prog" 1
choose_send_file "$ZW_APP/prog/main.fs"
: >"$fdev/rx.bin"
keys F9
sleep 0.3
keys shift+F7
for _ in $(seq 300); do grep -q '6 7 \*' "$fdev/rx.bin" && break; sleep 0.1; done
sleep 1
rx=$(tr '\r' '\n' <"$fdev/rx.bin")
check forth_paced_upload_sent_every_line "$(grep -c . <<<"$rx") lines" test "$(grep -c . <<<"$rx")" = 142
check forth_paced_upload_left_out_comments "" test "$(grep -c '\\\|( \|//\|/\*\|#include' <<<"$rx")" = 0
typed "answer ."
keys Return
sleep 1
keys F12
sleep 0.8
rec=$(tr -d '\r' <"$ZW_APP/ZELTO.REC" 2>/dev/null)
check forth_paced_word_answers "record: $(tail -c 300 <<<"$rec" | tr '\n' '|')" grep -q 'answer \. 42  ok' <<<"$rec"
check forth_paced_no_error "" test "$(grep -c 'Undefined word' <<<"$rec")" = 0

# An undefined word stops the upload at its line: nothing after it goes out.
printf '1 drop\rno-such-word\r2 drop\r' >"$ZW_APP/prog/err.fs"
choose_send_file "$ZW_APP/prog/err.fs"
: >"$fdev/rx.bin"
keys shift+F6
sleep 2
check forth_paced_stops_at_the_error "device got: $(tr '\r' '|' <"$fdev/rx.bin")" \
  test "$(tr '\r' '|' <"$fdev/rx.bin")" = "1 drop|no-such-word|"
keys F8
sleep 0.5

paste_text() {
  probe clip-set "$(printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n')" >/dev/null
  keys shift+Insert
}
BOARD_DIR=$ZW_APP/board BOARD_RX=$fdev/rx.bin BOARD_TX=$fdev/tx.bin
. "$ZW_ROOT/tests/support/forth_board.sh"
board_cases
s=$(shot forth-paced)
save_png "$s" forth-paced-upload
zw_finish
