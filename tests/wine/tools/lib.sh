# Shell helpers of the Wine end-to-end cases: sourced by each tests/wine/case_*.sh, which tests/wine/run.sh starts with the ZW_* variables set.
#
# A case prints "PASS name" or "FAIL name: detail" per check. Every Wine
# command's output goes to a file, never through a pipe: a wineserver or
# desktop process that inherits a pipe would hold it open.

: "${ZW_OUT:?run the cases through tests/wine/run.sh}"
ZW_CASE=$(basename "$0" .sh)
ZW_WORK=$ZW_OUT/$ZW_CASE
rm -rf "$ZW_WORK"
mkdir -p "$ZW_WORK"
ZW_FAILS=0
ZW_PID=
ZW_APP=

pass() { echo "PASS $1"; }
fail() {
  echo "FAIL $1${2:+: $2}"
  ZW_FAILS=$((ZW_FAILS + 1))
}
# check NAME DETAIL COMMAND...: passes when the command succeeds.
check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then pass "$name"; else fail "$name" "$detail"; fi
}

# The probe, a Win32 program: its output lands in a file first.
probe() {
  local f rc
  f=$(mktemp "$ZW_WORK/probe.XXXXXX")
  wine "$ZW_PROBE" "$@" >"$f" 2>/dev/null </dev/null
  rc=$?
  cat "$f"
  rm -f "$f"
  return $rc
}

# field KEY LINE: the value of key=value or key="text" in a probe record.
field() {
  local key=$1 line=$2
  if [[ $line =~ (^|[[:space:]])$key=\"(([^\"\\]|\\.)*)\" ]]; then
    printf '%s' "${BASH_REMATCH[2]}"
  elif [[ $line =~ (^|[[:space:]])$key=([^[:space:]]*) ]]; then
    printf '%s' "${BASH_REMATCH[2]}"
  else
    return 1
  fi
}

# The device at the other end of COM1: commands go through its FIFO, and a
# "sync" token comes back once all of them have been carried out.
ZW_SYNC=0
dev() {
  ZW_SYNC=$((ZW_SYNC + 1))
  local token="$ZW_CASE-$ZW_SYNC-$$" cmd
  { for cmd in "$@"; do echo "$cmd"; done; echo "sync $token"; } >"$ZW_DEV_CTL"
  for _ in $(seq 200); do
    grep -qx "$token" "$ZW_DEV_ACK" 2>/dev/null && return 0
    sleep 0.02
  done
  echo "device did not answer $token" >&2
  return 1
}
# dev_send TEXT: the device sends these bytes (printf escapes allowed).
dev_send() { dev "send $(printf "$1" | od -An -v -tx1 | tr -d ' \n')"; }
# What the device has received, as hex digits.
dev_rx() { od -An -v -tx1 "$ZW_DEV_RX" | tr -d ' \n'; }
# wait_rx HEX MS: waits until the device has received exactly these bytes.
wait_rx() {
  local want=$1 ms=${2:-5000} t
  for ((t = 0; t <= ms; t += 50)); do
    [ "$(dev_rx)" = "$want" ] && return 0
    sleep 0.05
  done
  return 1
}
purges() { grep -cx purge "$ZW_DEV_ACK" 2>/dev/null; }

# Default settings, as the program has them without a preset file.
zw_default_gx=$((ZW_CXVSCROLL / 2))
zw_default_gy=$ZW_CYHSCROLL

# preset_write FILE [key=value]...: the 630-byte preset record, with the
# program's initial settings unless given: port baud echo hexprint hexenter
# udp height gx gy delay delim skip cts ip rxport txport face send rec.
preset_write() {
  local file=$1
  shift
  declare -A v=([port]=1 [baud]=115200 [echo]=0 [hexprint]=0 [hexenter]=0 [udp]=0
    [height]=$((3 - zw_default_gy)) [gx]=$zw_default_gx [gy]=$zw_default_gy [delay]=10 [delim]=13
    [skip]=0 [cts]=0 [ip]=192.168.0.240 [rxport]=9000 [txport]=8000 [face]="Courier New"
    [send]="" [rec]="")
  local kv
  for kv in "$@"; do v[${kv%%=*}]=${kv#*=}; done
  byte() { printf "\\x$(printf %02x $(($1 & 255)))"; }
  text() {
    printf '%s' "$1"
    head -c $(($2 - ${#1})) /dev/zero
  }
  {
    byte 12
    byte "${v[port]}"
    byte $((v[baud] / 2400))
    byte "${v[echo]}"
    byte "${v[hexprint]}"
    byte "${v[hexenter]}"
    byte "${v[udp]}"
    byte "${v[height]}"
    byte "${v[gx]}"
    byte "${v[gy]}"
    byte "${v[delay]}"
    byte "${v[delim]}"
    byte "${v[skip]}"
    byte "${v[cts]}"
    text "${v[ip]}" 32
    text "${v[rxport]}" 16
    text "${v[txport]}" 16
    text "${v[face]}" 32
    text "${v[send]}" 260
    text "${v[rec]}" 260
  } >"$file"
  [ "$(stat -c %s "$file")" -eq 630 ] || { echo "preset_write: wrong size" >&2; return 1; }
}

# A folder of its own for the program, so that a preset file lies beside it.
zelto_dir() {
  ZW_APP=$ZW_WORK/app
  mkdir -p "$ZW_APP"
  cp "$ZW_EXE" "$ZW_APP/ZELTO.EXE"
}

# Starts ZELTO.EXE from its folder and waits for its window (and, unless
# told "unconnected", for the program to have opened COM1, and then erases
# the screen where the open named the device: a case sees only what it
# does itself).
zelto_start() {
  local want=${1:-connected} before t
  [ -n "$ZW_APP" ] || zelto_dir
  before=$(purges)
  rm -f "$ZW_WORK/exit.code" "$ZW_WORK/zelto.pid"
  (
    cd "$ZW_APP" || exit 1
    wine ZELTO.EXE >"$ZW_WORK/zelto.log" 2>&1 </dev/null &
    echo $! >"$ZW_WORK/zelto.pid"
    echo $! >>"$ZW_OUT/started.pids"
    wait $!
    echo $? >"$ZW_WORK/exit.code"
  ) &
  for ((t = 0; t < 50; t++)); do
    [ -s "$ZW_WORK/zelto.pid" ] && break
    sleep 0.02
  done
  ZW_PID=$(cat "$ZW_WORK/zelto.pid")
  ZW_WINDOW=$(probe window 20000) || return 1
  if [ "$want" = connected ]; then
    for ((t = 0; t < 100; t++)); do
      [ "$(purges)" -gt "$before" ] && break
      sleep 0.05
    done
    [ "$(purges)" -gt "$before" ] || return 1
    erase_screen
  fi
  focus_desktop
  return 0
}

# Config > Erase Screen, carried out before this returns.
erase_screen() { probe send 0x111 332 0 >/dev/null; }

# Keyboard input goes to the virtual desktop's X window, which hands it to
# the active Wine window.
focus_desktop() {
  local w
  w=$(xdotool search --name 'zelto - Wine desktop' 2>/dev/null | head -n 1)
  [ -n "$w" ] && xdotool windowfocus --sync "$w" >/dev/null 2>&1
  return 0
}

# wait_foreground MS: waits until the main window is the active one.
wait_foreground() {
  local t
  for ((t = 0; t < ${1:-5000}; t += 100)); do
    ZW_WINDOW=$(probe window) && [ "$(field foreground "$ZW_WINDOW")" = 1 ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the user-interface thread has handled everything before (a
# message sent to the window is answered only then), then for its repaint.
ui_idle() {
  probe send 0 0 0 >/dev/null
  sleep 0.3
}

keys() { xdotool key --delay 40 "$@"; }
typed() { xdotool type --delay 40 "$1"; }

# menu N [DOWN] [UP]: picks a menu command by keyboard, as a person does
# without the mouse: Alt, N times Right along the bar, then Enter on a bar
# command, or Down to open the pop-up and DOWN more times to the item.
menu() {
  local right=$1 down=${2:-} up=${3:-0} i
  keys alt
  sleep 0.2
  for ((i = 0; i < right; i++)); do keys Right; done
  if [ -n "$down" ]; then
    keys Down
    sleep 0.1
    for ((i = 0; i < down; i++)); do keys Down; done
    for ((i = 0; i < up; i++)); do keys Up; done
  fi
  keys Return
}

# waits until ZELTO.EXE has ended (MS); its exit code is then in ZW_EXIT.
zelto_wait_exit() {
  local t
  for ((t = 0; t < ${1:-10000}; t += 100)); do
    if [ -s "$ZW_WORK/exit.code" ]; then
      ZW_EXIT=$(cat "$ZW_WORK/exit.code")
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Ends the program if it still runs: a polite close first, then by its id.
zelto_stop() {
  [ -n "$ZW_PID" ] || return 0
  if kill -0 "$ZW_PID" 2>/dev/null; then
    probe post 0x10 0 0 >/dev/null
    zelto_wait_exit 5000 || kill -KILL "$ZW_PID" 2>/dev/null
  fi
  zelto_wait_exit 5000 || true
  ZW_PID=
}

# screen_text: the text the grid shows, through the window's own Select All
# and Copy (sent as the menu sends them) and the clipboard; a left click
# clears the selection again.
screen_text() {
  probe send 0x111 353 0 >/dev/null
  probe send 0x111 351 0 >/dev/null
  field hex "$(probe clip-get)" | xxd -r -p
  xdotool mousemove "$(cell_x 30)" "$(cell_y 8)" click 1
}

# Screenshots of the X display (the whole virtual desktop) as PPM files.
shot() {
  local f=$ZW_WORK/$1.ppm
  import -window root -depth 8 "ppm:$f" 2>/dev/null
  echo "$f"
}
# save_png SHOT NAME: the main window with its frame and menu bar, as a PNG
# under the build folder's e2e/.
save_png() {
  mkdir -p "$ZW_SHOTS"
  local x y w h
  x=$(field x "$ZW_WINDOW") y=$(field y "$ZW_WINDOW") w=$(field w "$ZW_WINDOW") h=$(field h "$ZW_WINDOW")
  /usr/bin/convert "$1" -crop "${w}x${h}+${x}+${y}" +repage "$ZW_SHOTS/$2.png"
}

# Cell geometry of the view in screen pixels, from the probe's window record
# and the character cell.
ZW_CX=${ZW_CELLX:-8}
ZW_CY=${ZW_CELLY:-16}
cell_x() { echo $(($(field clientx "$ZW_WINDOW") + $1 * ZW_CX)); }
cell_y() { echo $(($(field clienty "$ZW_WINDOW") + $1 * ZW_CY)); }
# ink SHOT ROW COL: pixels of text in one character cell.
ink() { "$ZW_TOOLS/imgcheck" ink "$1" "$(cell_x "$3")" "$(cell_y "$2")" "$ZW_CX" "$ZW_CY"; }
# ink_area SHOT ROW COL ROWS COLS: text pixels in a block of cells.
ink_area() { "$ZW_TOOLS/imgcheck" ink "$1" "$(cell_x "$3")" "$(cell_y "$2")" $(($5 * ZW_CX)) $(($4 * ZW_CY)); }
# same_cell SHOT ROW1 COL1 ROW2 COL2: differing pixels between two cells.
same_cell() {
  "$ZW_TOOLS/imgcheck" same "$1" "$(cell_x "$3")" "$(cell_y "$2")" "$(cell_x "$5")" "$(cell_y "$4")" "$ZW_CX" "$ZW_CY"
}
# The rows of the grid that the client area shows, whole cells only.
visible_rows() { echo $(($(field clienth "$ZW_WINDOW") / ZW_CY)); }
visible_cols() {
  local c=$(($(field clientw "$ZW_WINDOW") / ZW_CX))
  [ "$c" -gt 80 ] && c=80
  echo "$c"
}
# ink_outside SHOT ROW COL: text pixels anywhere in the visible grid except
# the cells given as "row:col" arguments after SHOT (the caret's cell among
# them: it blinks).
ink_except() {
  local f=$1
  shift
  local rows cols total=0 r c skip cell n
  rows=$(visible_rows) cols=$(visible_cols)
  for ((r = 0; r < rows; r++)); do
    # A row without exceptions is counted in one go.
    skip=0
    for cell in "$@"; do [ "${cell%%:*}" = "$r" ] && skip=1; done
    if [ $skip = 0 ]; then
      n=$(ink_area "$f" "$r" 0 1 "$cols")
      total=$((total + n))
      continue
    fi
    for ((c = 0; c < cols; c++)); do
      skip=0
      for cell in "$@"; do [ "$cell" = "$r:$c" ] && skip=1; done
      [ $skip = 1 ] && continue
      n=$(ink "$f" "$r" "$c")
      total=$((total + n))
    done
  done
  echo "$total"
}
# diff_view SHOT1 SHOT2 ROW COL: differing pixels of the client area between
# two shots, leaving out the caret's cell (ROW COL) and the pixel column
# right of it where the caret reaches.
diff_view() {
  "$ZW_TOOLS/imgcheck" diff "$1" "$2" "$(field clientx "$ZW_WINDOW")" "$(field clienty "$ZW_WINDOW")" \
    "$(field clientw "$ZW_WINDOW")" "$(field clienth "$ZW_WINDOW")" \
    "$(cell_x "$4")" "$(cell_y "$3")" $((ZW_CX + 1)) "$ZW_CY"
}

# wait_caret ROW COL MS: waits until the blinking block caret is seen on
# that cell (it sits one pixel right of the cell's left edge).
wait_caret() {
  local t f n
  for ((t = 0; t < ${3:-5000}; t += 120)); do
    f=$(shot caret_wait)
    n=$("$ZW_TOOLS/imgcheck" ink "$f" $(($(cell_x "$2") + 1)) "$(cell_y "$1")" "$ZW_CX" "$ZW_CY")
    [ "$n" -eq $((ZW_CX * ZW_CY)) ] && return 0
    sleep 0.1
  done
  return 1
}

zw_finish() {
  zelto_stop
  [ "$ZW_FAILS" -eq 0 ]
}
trap 'zelto_stop' EXIT
