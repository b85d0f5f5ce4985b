# forth_program DIR BLOCK: writes a FORTH program of over 200 lines, CR line
# ends, to DIR/main.fs, which includes DIR/lib/util.fs: every comment form
# that Shift+F7 leaves out ("\ ", "( ", "//", and "/* */" when BLOCK is 1),
# blank lines and definitions over several lines. The word `answer`,
# defined near the end, leaves 42. Sourced by the end-to-end cases.
forth_program() {
  local dir=$1 block=$2 i
  mkdir -p "$dir/lib"
  {
    echo '\ util.fs: a helper for the main program'
    echo ': double ( n -- 2n )'
    echo '  2 * ;'
  } | sed 's/$/\r/' | tr -d '\n' >"$dir/lib/util.fs"
  {
    echo '\ main.fs: uploaded paced by the replies'
    echo '( a whole line in parentheses )'
    echo '// a slash comment line'
    echo ''
    echo '#include lib/util.fs'
    [ "$block" = 1 ] && printf '/* a block comment\nover two lines */\n'
    for i in $(seq 1 64); do
      echo ": w$i ( -- n ) \\ word $i"
      echo "  $i double ;   // twice $i"
      echo ''
    done
    echo 'variable total  0 total !'
    for i in $(seq 1 8); do echo "w$i total +!   \\ add"; done
    echo ': answer ( -- n )'
    echo '  6 7 *'
    echo '  ;'
    echo '\ end of the program'
  } | sed 's/$/\r/' | tr -d '\n' >"$dir/main.fs"
}
