# The FORTH board cases of the end-to-end runs of both programs, at the
# program's defaults (delimiter 0D, no ZELTO.INI, Enter sends CR): the
# 60-line program of a small board, with an include, goes up paced by
# gforth's replies as an LF, a CR LF and a CR file and a word from it
# answers; Shift+F7 leaves out FORTH's comments and nothing else; keys typed
# and a paste made during an upload land inside no line; an undefined word
# inside a multi-line definition stops the upload, and once the file has
# been replaced as editors replace it, Shift+F6 resumes at the definition's
# first line and the program completes.
#
# The case that sources this provides check, keys, typed, screen_text (the
# text the grid shows), paste_text TEXT and choose_send_file PATH, and sets
# BOARD_DIR (a folder for the program), BOARD_RX and BOARD_TX (where the
# device, gforth bridged by ptydev --rx --tx, records what reached it and
# what it printed).

# board_program DIR EOL [SKIP] [FAULT]: writes the program to DIR/main.fs,
# which includes DIR/lib/util.fs on line 2, with line ends EOL (lf, crlf or
# cr). Line 6 has a stack comment in the middle of the line, line 8 a string
# that looks like a comment, lines 27 to 33 are `: classify` over several
# lines. With SKIP 1 lines 3 and 4 are one `( ... )` comment over two lines,
# which only Shift+F7 can upload (an interactive FORTH ends a `(` at the
# line's end); otherwise two `\` lines. With FAULT 1 line 31 calls
# `sign-nam`, a word defined nowhere. `answer` (line 59) leaves 42 when
# every line ran once.
board_program() {
  local dir=$1 end='\r' edit= line
  case $2 in lf) end='\n' ;; crlf) end='\r\n' ;; esac
  [ "${3:-0}" = 1 ] && edit='3s/^\\ /( /; 4s/.*/  as: before -- after )/;'
  [ "${4:-0}" = 1 ] && edit+='31s/sign-name/sign-nam/'
  mkdir -p "$dir/lib"
  printf "%s$end" '\ util.fs: helpers for main.fs' ': double ( n -- 2n )  2 * ;' \
    ': half ( n -- n/2 )  2 / ;' >"$dir/lib/util.fs"
  sed "$edit" <<'EOF' | while IFS= read -r line; do printf "%s$end" "$line"; done >"$dir/main.fs"
\ main.fs: words for a small board, uploaded paced by its replies
#include lib/util.fs
\ Stack effects are written in parentheses,
\ as ( before -- after ).

: square ( n -- n*n )  dup * ;
: cube ( n -- n*n*n )  dup square * ;
: banner ( -- )  ." ( not a comment )" ;
variable total
0 total !
: add ( n -- )  total +! ;   \ adds to the total

\ five digits in a row
create digits  3 , 1 , 4 , 1 , 5 ,
: digit@ ( i -- n )  cells digits + @ ;
: sum-digits ( -- n )
  0  5 0 do
    i digit@ +
  loop ;

: sign-name ( n -- )
  dup 0< if drop ." negative" exit then
  0= if ." zero" exit then
  ." positive" ;

\ classify: what a number is, told over several lines
: classify ( n -- )
  dup abs 100 > if
    ." big "
  then
  sign-name
  space
  ;

\ the total: 14 + 9 + 8 + 10 + 1
sum-digits add
3 square add
2 cube add
5 double add
1 add

: stars ( n -- )  0 ?do [char] * emit loop ;
: countdown ( n -- )
  begin
    dup 0>
  while
    dup .  1-
  repeat
  drop ;

banner
-5 classify  0 classify  500 classify
3 stars  3 countdown

\ from util.fs
10 half .

\ the answer, from everything above
: answer ( -- n )  total @ ;
\ end of main.fs
EOF
}
board_unix() { perl -0777 -pe 's/\r\n?/\n/g' "$1"; }
# board_lines DIR: the program's lines as an upload that keeps comments
# sends them: the include's lines in place of its directive, blank lines
# left out. board_code DIR: the same as the skip-comments mode should send
# them (blanks squeezed as by board_squeeze).
board_lines() {
  local line
  board_unix "$1/main.fs" | while IFS= read -r line; do
    if [[ $line == '#include '* ]]; then board_unix "$1/lib/util.fs"; else echo "$line"; fi
  done | grep -v '^ *$'
}
board_code() {
  board_lines "$1" | sed -E '/^\( /,/ \)$/d; /^\\ /d; s/\( [^)]*-- [^)]*\)//; s/ \\ .*$//' | board_squeeze
}
board_squeeze() { sed -E 's/[[:space:]]+/ /g; s/^ //; s/ $//'; }

# board_until COMMAND...: polls until the command succeeds (10 s at most).
board_until() {
  for _ in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
# What reached gforth, a line per line of the upload; board_got TEXT: exactly
# these lines; board_printed REGEX: a line that gforth printed matches.
board_rx() { tr '\r' '\n' <"$BOARD_RX"; }
board_got() { [ "$(board_rx)" = "$1" ]; }
board_printed() { tr '\r' '\n' <"$BOARD_TX" | grep -qE -- "$1"; }
board_check_rx() {
  board_until board_got "$2"
  check "$1" "gforth got: $(board_rx | tr '\n' '|')" board_got "$2"
}
board_check_tx() {
  board_until board_printed "$2"
  check "$1" "gforth printed: $(tr '\r\n' '||' <"$BOARD_TX" | tail -c 400)" board_printed "$2"
}
board_got_lines() { [ "$(board_rx | wc -l)" -ge "$1" ]; }
board_clear() { : >"$BOARD_RX"; : >"$BOARD_TX"; }

# board_screen REGEX LINES: reads the screen until one of its last LINES
# lines that hold text matches, and prints its last 40 such lines.
board_screen() {
  local text
  for _ in 1 2 3 4 5 6; do
    text=$(screen_text | tr -d '\r' | grep -v '^ *$' | tail -n 40)
    tail -n "$2" <<<"$text" | grep -qE -- "$1" && break
    sleep 0.3
  done
  printf '%s\n' "$text"
}
# board_done NAME [LINES]: the screen's last lines say the upload ended
# (after LINES lines when given). An upload that did not is ended with F8
# (and the box that F8 may raise with Enter), so the next starts afresh.
board_done() {
  local text
  text=$(board_screen '^Transfer Finished, File Closed!$' 1 | tail -n 4)
  if [ "$(tail -n 1 <<<"$text")" = 'Transfer Finished, File Closed!' ]; then
    check "$1" "screen ends: $(tr '\n' '|' <<<"$text")" \
      grep -qE "^-Uploaded ${2:-[0-9]+} lines in [0-9]+\.[0-9] s-\$" <<<"$text"
  else
    fail "$1" "screen ends: $(tr '\n' '|' <<<"$text")"
    keys F8
    sleep 0.5
    keys Return
    sleep 0.3
    ! declare -F focus_main >/dev/null || focus_main
  fi
}
# A board fresh from its reset: gforth ended with `bye` (ptydev starts it
# again) and its greeting waited for, so no word of an earlier upload is
# left.
board_fresh() {
  board_clear
  typed "bye"
  keys Return
  board_until board_printed "^Type .bye. to exit"
  board_clear
}
# board_answers NAME: `answer .` typed and Enter: gforth prints 42.
board_answers() {
  board_clear
  typed "answer ."
  keys Return
  board_check_tx "$1" 'answer \. 42  ok'
}
# board_no_error NAME: gforth reported no error.
board_no_error() {
  check "$1" "gforth printed: $(grep -aE -A1 'Undefined word|underflow|Backtrace' "$BOARD_TX" | tr '\r\n' '||' | head -c 300)" \
    test "$(grep -cE 'Undefined word|underflow|Backtrace' "$BOARD_TX")" = 0
}

board_cases() {
  local dir=$BOARD_DIR eol skip key want text
  board_program "$dir" lf 1
  choose_send_file "$dir/main.fs"

  # The same program as LF, CR LF and CR files: the LF one under Shift+F7,
  # which leaves out the comments, the others under Shift+F6, line for line.
  for eol in lf crlf cr; do
    skip=0 key=shift+F6
    [ $eol = lf ] && skip=1 key=shift+F7
    board_program "$dir" $eol $skip
    board_fresh
    keys $key
    if [ $skip = 1 ]; then
      want=$(board_code "$dir")
      board_until board_got_lines "$(wc -l <<<"$want")"
      # `: square dup * ;`, `: banner ." ( not a comment )" ;`, nothing of
      # lines 3 and 4, nor of a `\` line.
      check forth_board_${eol}_skip_leaves_out_comments_only "gforth got: $(board_rx | tr '\n' '|')" \
        test "$(board_rx | board_squeeze)" = "$want"
      board_check_tx forth_skip_string_printed_as_is '^banner ?\( not a comment \) ok'
    else
      want=$(board_lines "$dir")
      board_check_rx forth_board_${eol}_sends_every_line "$want"
    fi
    board_done forth_board_${eol}_says_uploaded "$(wc -l <<<"$want")"
    board_no_error forth_board_${eol}_no_error
    board_answers forth_board_${eol}_answers
  done

  # Keys typed and a paste made during an upload are not sent inside its
  # lines; the screen says why they wait. The end of the upload is told
  # after the last line's reply.
  for i in $(seq 10); do printf '%s drop 200 ms\r' "$i"; done >"$dir/main.fs"
  board_clear
  keys shift+F6
  board_until board_printed '^1 drop 200 ms'
  typed "77 drop "
  paste_text "88 drop "
  text=$(board_screen '^Transfer Finished, File Closed!$' 1)
  check forth_keys_wait_shown "screen: $(tr '\n' '|' <<<"$text")" grep -qxF -- '-Keys wait: an upload is running, F8 ends it-' <<<"$text"
  check forth_keys_not_sent_inside_lines "gforth got: $(board_rx | tr '\n' '|')" \
    test "$(board_rx | head -n 10)" = "$(board_unix "$dir/main.fs")"
  check forth_uploaded_told_after_the_last_reply "screen: $(tr '\n' '|' <<<"$text")" \
    test "$(grep -n '^10 drop 200 ms *ok' <<<"$text" | cut -d: -f1)" -lt "$(grep -n '^-Uploaded ' <<<"$text" | tail -n 1 | cut -d: -f1)"
  keys Return
  sleep 0.5

  # An undefined word on line 31 stops the upload inside `: classify`
  # (lines 27 to 33); the editor's fix is written to a new name and renamed
  # over the file; Shift+F6 resumes at line 27 from the file on disk.
  board_program "$dir" lf 0 1
  board_fresh
  keys shift+F6
  # gforth's backtrace may go on below the stop's texts.
  text=$(board_screen 'resumes at line' 12 | tail -n 12)
  check forth_board_stops_inside_the_definition "screen ends: $(tr '\n' '|' <<<"$text")" \
    grep -qE '^-Stopped at line 31 of main\.fs: .*Undefined word.*-$' <<<"$text"
  check forth_board_stop_tells_where_it_resumes "screen ends: $(tr '\n' '|' <<<"$text")" \
    grep -qxF -- '-Shift+F6 resumes at line 27, F8 ends-' <<<"$text"
  check forth_board_nothing_sent_after_the_error "gforth got: $(board_rx | tr '\n' '|')" \
    test "$(board_rx)" = "$(board_lines "$dir" | sed '/^  sign-nam$/q')"
  board_program "$dir.fixed" lf
  cp "$dir.fixed/main.fs" "$dir/main.fs.new"
  mv "$dir/main.fs.new" "$dir/main.fs"
  board_clear
  keys shift+F6
  board_check_rx forth_board_resumes_where_the_definition_began "$(board_lines "$dir" | sed -n '/^: classify/,$p')"
  board_done forth_board_resumed_says_uploaded
  board_no_error forth_board_resumed_no_error
  board_check_tx forth_board_resumed_definition_works 'negative zero big positive'
  board_answers forth_board_resumed_answers
}
