# Shell helpers of the end-to-end cases of the native program: sourced by each tests/gtk/case_*.sh, which tests/gtk/run.sh starts with the ZG_* variables set.
#
# A case prints "PASS name" or "FAIL name: detail" per check.

: "${ZG_OUT:?run the cases through tests/gtk/run.sh}"
ZG_CASE=$(basename "$0" .sh)
ZG_WORK=$ZG_OUT/$ZG_CASE
rm -rf "$ZG_WORK"
mkdir -p "$ZG_WORK"
ZG_FAILS=0
ZG_PID=
# The program's folder: a copy of zelto of its own, so its preset file and
# record file lie there.
ZG_APP=$ZG_WORK/app
mkdir -p "$ZG_APP"
cp "$ZG_ZELTO" "$ZG_APP/zelto"

pass() { echo "PASS $1"; }
fail() {
  echo "FAIL $1${2:+: $2}"
  ZG_FAILS=$((ZG_FAILS + 1))
}
# check NAME DETAIL COMMAND...: passes when the command succeeds.
check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then pass "$name"; else fail "$name" "$detail"; fi
}

# The device at the other end of COM1 (ptydev): commands go through its
# FIFO, and a "sync" token comes back once all of them are carried out.
ZG_SYNC=0
dev() {
  ZG_SYNC=$((ZG_SYNC + 1))
  local token="$ZG_CASE-$ZG_SYNC-$$" cmd
  { for cmd in "$@"; do echo "$cmd"; done; echo "sync $token"; } >"$ZG_DEV_CTL"
  for _ in $(seq 200); do
    grep -qx "$token" "$ZG_DEV_ACK" 2>/dev/null && return 0
    sleep 0.02
  done
  return 1
}
dev_send() { dev "send $(printf "$1" | od -An -v -tx1 | tr -d ' \n')"; }
dev_rx() { od -An -v -tx1 "$ZG_DEV_RX" | tr -d ' \n'; }
# wait_rx HEX [MS]: until the device has received exactly these bytes.
wait_rx() {
  local want=$1 ms=${2:-5000} t
  for ((t = 0; t <= ms; t += 50)); do
    [ "$(dev_rx)" = "$want" ] && return 0
    sleep 0.05
  done
  return 1
}

# The main window (the top-level X window titled "Zelto v3.16" that is not
# a message box: the largest one).
main_window() {
  local w best= area=0 g
  for w in $(xdotool search --onlyvisible --name '^Zelto v3\.16$' 2>/dev/null); do
    g=$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -nE 's/.*Geometry: ([0-9]+)x([0-9]+).*/\1 \2/p')
    [ -n "$g" ] || continue
    set -- $g
    if [ $(($1 * $2)) -gt "$area" ]; then area=$(($1 * $2)); best=$w; fi
  done
  [ -n "$best" ] && echo "$best"
}
# windows NAME: how many visible windows have exactly this title.
windows() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
# wait_windows NAME COUNT [MS]
wait_windows() {
  local t
  for ((t = 0; t <= ${3:-5000}; t += 50)); do
    [ "$(windows "$1")" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}

# zelto_start [ARGS...]: starts the program from its folder (COM1 the device
# unless ARGS say otherwise) and waits for its window.
zelto_start() {
  local args=("$@")
  [ ${#args[@]} -gt 0 ] || args=(--com "1=$ZG_DEV_PTY")
  (cd "$ZG_APP" && exec ./zelto "${args[@]}") >"$ZG_WORK/zelto.log" 2>&1 </dev/null &
  ZG_PID=$!
  echo "$ZG_PID" >>"$ZG_OUT/started.pids"
  wait_windows 'Zelto v3\.16' 1 10000 || return 1
  sleep 0.5
  focus_main
}
focus_main() { xdotool windowfocus --sync "$(main_window)" 2>/dev/null; sleep 0.2; }
keys() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 60 "$1"; }

# click_menu TITLE ITEM: opens a menu of the bar and clicks one of its items,
# both found by where they are drawn (menu bar texts and item rows as GTK
# lays them out for this font); positions in the main window.
ZG_MENU_X=([0]=19 [1]=70 [2]=155 [3]=236 [4]=285)
ZG_OPTIONS_Y=63   # Config > Options
ZG_SAVE_Y=218     # Config > Save Setup (below Erase Screen, VT100 Emulation, DTR, RTS, Send Break)
ZG_ERASE_Y=88     # Config > Erase Screen
ZG_VT100_Y=113    # Config > VT100 Emulation
click_at() { xdotool mousemove --window "$(main_window)" "$1" "$2" click 1; }
menu_item() {  # menu_item MENU-INDEX ITEM-ROW (rows as drawn, separators count half)
  click_at "${ZG_MENU_X[$1]}" 12
  sleep 0.4
  xdotool mousemove --window "$(main_window)" "$((ZG_MENU_X[$1] + 30))" "$2" click 1
  sleep 0.4
}

# A blank screen, for the cases that count rows from the top: the link's
# open has written which device it is.
erase_screen() { focus_main; menu_item 3 "$ZG_ERASE_Y"; focus_main; }

# setup_udp PORT [faster]: in the Setup dialog (Config > Terminal), the UDP
# link with this receive port, and with "faster" the next baud rate; then OK.
# The controls are found where GTK lays them out in the dialog.
setup_udp() {
  menu_item 3 37
  wait_windows Setup 1 3000 || return 1
  sleep 0.3
  local setup
  setup=$(xdotool search --onlyvisible --name '^Setup$' | head -n 1)
  at() { xdotool mousemove --window "$setup" "$1" "$2" click 1; sleep 0.3; }
  if [ "${2:-}" = faster ]; then
    at 270 214   # the baud list: one entry down
    keys Down Return
  fi
  at 26 273      # UDP
  at 270 311     # RX-Port
  keys ctrl+a
  typed "$1"
  shot setup >/dev/null
  keys alt+o     # OK, by its mnemonic
  sleep 0.8
  [ "$(windows Setup)" -eq 0 ]
}
# A UDP port bound on this machine by a program whose name matches NAME.
udp_bound() { ss -ulnpH "sport = :$1" 2>/dev/null | grep -q "$2"; }
wait_udp_bound() {
  local t
  for ((t = 0; t <= ${3:-10000}; t += 100)); do
    udp_bound "$1" "$2" && return 0
    sleep 0.1
  done
  return 1
}

# screen_text: the text the grid shows, read as a person reads it off the
# window: the right click's menu (waited for: the program shows a window
# more), Select All, Ctrl+Insert, the clipboard. A left click clears the
# selection again.
screen_text() {
  local w n
  w=$(main_window)
  n=$(xdotool search --onlyvisible --pid "$ZG_PID" 2>/dev/null | wc -l)
  xdotool mousemove --window "$w" 300 100 click 3
  for _ in $(seq 40); do
    [ "$(xdotool search --onlyvisible --pid "$ZG_PID" 2>/dev/null | wc -l)" -gt "$n" ] && break
    sleep 0.05
  done
  keys Up Up Up Return ctrl+Insert   # Select All, above Find... and Clear Scrollback
  sleep 0.2
  xclip -o -selection clipboard 2>/dev/null
  xdotool mousemove --window "$w" 300 100 click 1
}
# shot NAME: a screenshot of the whole screen (PPM for imgcheck, PNG kept).
shot() {
  local f=$ZG_WORK/$1.ppm
  import -window root -depth 8 "ppm:$f" 2>/dev/null
  convert "$f" "$ZG_SHOTS/$ZG_CASE-$1.png" 2>/dev/null
  echo "$f"
}
# ink FILE X Y W H: pixels in the rectangle that are not the window colour.
ink() { "$ZG_TOOLS/imgcheck" ink "$@"; }

# Ends the program as the user does (File > Exit) and waits for its end.
zelto_exit() {
  [ -n "$ZG_PID" ] || return 0
  if kill -0 "$ZG_PID" 2>/dev/null; then
    focus_main
    menu_item 0 122   # File > Exit, below Save Output As and the separator
    for _ in $(seq 100); do kill -0 "$ZG_PID" 2>/dev/null || break; sleep 0.05; done
  fi
  if kill -0 "$ZG_PID" 2>/dev/null; then
    fail "${ZG_CASE}_exit" "File > Exit did not end the program"
    kill "$ZG_PID" 2>/dev/null
  fi
  wait "$ZG_PID" 2>/dev/null
  ZG_PID=
}
zg_finish() {
  zelto_exit
  exit $((ZG_FAILS > 0))
}
