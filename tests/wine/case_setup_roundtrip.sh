#!/usr/bin/env bash
# End to end: the Options dialog refuses a bad number with its box and takes good values (the status bar shown at once), which Save Setup writes into ZELTO.INI; the Setup dialog switches the link to UDP on loopback and takes typed delimiters, "Save Setup" writes the 630-byte preset, the next start comes back in UDP with it, and a damaged preset is ignored silently.
. "$ZW_LIB"

# ---- a UDP peer on 127.0.0.1: receives on the program's TX port into a
# file, and sends what is written to its command file to the program's RX
# port. It ends by itself after a while, or when told "quit".
peer_dir=$ZW_WORK/peer
mkdir -p "$peer_dir"
peer_rx=$peer_dir/rx.bin
peer_cmd=$peer_dir/cmd
peer_pid=
cat >"$peer_dir/peer.py" <<'EOF'
import os, select, socket, sys, time
out, cmd, portfile = sys.argv[1], sys.argv[2], sys.argv[3]
rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
rx.bind(("127.0.0.1", 0))
probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
probe.bind(("0.0.0.0", 0))
rxport = probe.getsockname()[1]
probe.close()
with open(portfile + ".tmp", "w") as f:
    f.write("%d %d\n" % (rx.getsockname()[1], rxport))
os.rename(portfile + ".tmp", portfile)
tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
done = 0
deadline = time.time() + 110
while time.time() < deadline:
    r, _, _ = select.select([rx], [], [], 0.05)
    if r:
        data = rx.recv(2048)
        with open(out, "ab") as f:
            f.write(data)
    if os.path.exists(cmd):
        lines = open(cmd).read().splitlines()
        for line in lines[done:]:
            if line == "quit":
                sys.exit(0)
            tx.sendto(bytes.fromhex(line), ("127.0.0.1", rxport))
        done = len(lines)
EOF
: >"$peer_rx"
python3 "$peer_dir/peer.py" "$peer_rx" "$peer_cmd" "$peer_dir/ports" >"$peer_dir/peer.log" 2>&1 </dev/null &
peer_pid=$!
echo "$peer_pid" >>"$ZW_OUT/started.pids"
trap 'zelto_stop; [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$peer_dir/ports" ] && break; sleep 0.05; done
read -r tx_port rx_port <"$peer_dir/ports" || { fail setup_udp_peer_starts "$(cat "$peer_dir/peer.log")"; exit 1; }

# peer_send TEXT: the peer sends these bytes as one datagram to the RX port.
peer_send() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n' >>"$peer_cmd"; echo >>"$peer_cmd"; }
peer_got() { od -An -v -tx1 "$peer_rx" | tr -d ' \n'; }
# wait_peer HEX MS: waits until the peer has received exactly these bytes.
wait_peer() {
  local t
  for ((t = 0; t <= ${2:-5000}; t += 50)); do
    [ "$(peer_got)" = "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

# ---- a reader of the dialog's control states: the texts of edit fields
# live in their controls, and only a WM_GETTEXT sent to them (which the
# system carries across processes) gives them; BM_GETCHECK tells a button's.
reader=$ZW_WORK/dlgread.exe
cat >"$ZW_WORK/dlgread.cpp" <<'EOF'
#include <windows.h>
#include <cstdio>
#include <cstdlib>
int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWND d = nullptr;
  for (int t = 0; t < 50 && !d; t++) {
    d = FindWindowA("#32770", argv[1]);
    if (!d) Sleep(100);
  }
  if (!d) return 1;
  for (int i = 2; i < argc; i++) {
    const int id = std::atoi(argv[i]);
    HWND c = GetDlgItem(d, id);
    char text[256] = "";
    DWORD_PTR n = 0, check = 0;
    if (c) {
      SendMessageTimeoutA(c, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &n);
      SendMessageTimeoutA(c, BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &check);
    }
    std::printf("%d %d %s\n", id, static_cast<int>(check), text);
  }
  return 0;
}
EOF
x86_64-w64-mingw32-g++-win32 -O1 -static -o "$reader" "$ZW_WORK/dlgread.cpp" >"$ZW_WORK/dlgread.log" 2>&1 ||
  { fail setup_reader_builds "$(cat "$ZW_WORK/dlgread.log")"; exit 1; }
# controls ID...: "ID CHECK TEXT" per control of the open Setup dialog (or
# of the dialog named in reader_caption).
controls() {
  wine "$reader" "${reader_caption:-Setup}" "$@" >"$ZW_WORK/controls.txt" 2>/dev/null </dev/null
  tr -d '\r' <"$ZW_WORK/controls.txt"
}

# ---- the Setup dialog, driven with mouse and keys
setup_box=
setup_item() { grep -E "^  item id=$1 " <<<"$setup_box"; }
# click ID: a mouse click into the middle of a control of the dialog.
click() {
  local it
  it=$(setup_item "$1")
  [ -n "$it" ] || return 1
  xdotool mousemove $(($(field x "$it") + $(field w "$it") / 2)) $(($(field y "$it") + $(field h "$it") / 2)) click 1
  sleep 0.15
}
# enter ID TEXT: replaces an edit field's text, as a person does: a click
# into it, End, Shift+Home to select it all, then the new text typed.
enter() {
  click "$1" || return 1
  keys End shift+Home
  typed "$2"
}
open_setup() {
  menu 3 0   # Config, first item "Terminal"
  setup_box=$(probe wait-dialog Setup 5000)
  local rc=$?
  echo "$setup_box" >>"$ZW_WORK/setup_boxes.txt"
  return $rc
}
# link_fields: what the dialog shows of the link, as "udp|ip|rx|tx".
link_fields() {
  local c
  c=$(controls 805 801 802 803)
  printf '%s|%s|%s|%s' "$(sed -n 's/^805 \([0-9]\).*/\1/p' <<<"$c")" "$(sed -n 's/^801 [0-9] //p' <<<"$c")" \
    "$(sed -n 's/^802 [0-9] //p' <<<"$c")" "$(sed -n 's/^803 [0-9] //p' <<<"$c")"
}

# ---- 1. first start, no preset: serial COM1; the Setup dialog opens
zelto_dir
preset=$ZW_APP/ZELTO.SET
rm -f "$preset"
zelto_start || { fail setup_window_opens "no window or COM1 not opened"; exit 1; }
wait_foreground 5000
if open_setup; then pass setup_dialog_opens_from_terminal; else fail setup_dialog_opens_from_terminal "$setup_box"; exit 1; fi
check setup_dialog_owned_by_main_window "$(head -n 1 <<<"$setup_box")" grep -q '^dialog caption="Setup" .*owner=main' <<<"$setup_box"
f=$(link_fields)
check setup_dialog_shows_default_link "$f" test "$f" = "0|192.168.0.240|9000|8000"

# Every text of the dialog shows whole in the dialog font of the prefix.
fits=$(probe fit "$(sed 's|/|\\|g' <<<"Z:$ZW_APP/ZELTO.EXE")" 101)
cut=$(grep -E '^(fit .*whole=0|error)' <<<"$fits")
check setup_dialog_texts_whole "${cut:-$fits}" test -z "$cut" -a "$(grep -c '^fit ' <<<"$fits")" -ge 19

# ---- 2. UDP to the peer on loopback, and the delimiter of files written
# on Linux typed in lower case
click 805
enter 801 127.0.0.1
enter 802 "$rx_port"
enter 803 "$tx_port"
enter 502 0a
f=$(link_fields)
check setup_fields_take_click_and_typed_text "$f" test "$f" = "1|127.0.0.1|$rx_port|$tx_port"
delim_text() { sed -n 's/^502 [0-9] //p' <<<"$(controls 502)"; }
d=$(delim_text)
check setup_delimiter_field_takes_two_digits "\"$d\"" test "$d" = 0a
# crop_dialog NAME: a picture of the dialog in setup_box, as NAME.png.
crop_dialog() {
  local b
  b=$(head -n 1 <<<"$setup_box")
  mkdir -p "$ZW_SHOTS"
  /usr/bin/convert "$(shot "$1_dialog")" -crop "$(field w "$b")x$(field h "$b")+$(field x "$b")+$(field y "$b")" \
    +repage "$ZW_SHOTS/$1.png"
}
crop_dialog setup
keys Return   # the default button, Ok
if probe wait-gone Setup 5000 >/dev/null; then pass setup_ok_closes_dialog; else fail setup_ok_closes_dialog "still open"; fi
# A failed reopen would show "Cannot open UPD: ..." here.
sleep 0.5
boxes=$(probe dialogs)
check setup_udp_opens_without_message "$boxes" test -z "$boxes"
wait_foreground 5000
erase_screen   # of the open's "-UDP to ...-"
typed z
if wait_peer 7a 5000; then pass setup_udp_typed_byte_reaches_peer; else fail setup_udp_typed_byte_reaches_peer "peer got '$(peer_got)'"; fi
check setup_udp_typed_byte_not_on_com1 "device got $(dev_rx)" test -z "$(dev_rx)"
peer_send R
sleep 0.8
s=$(shot udp_received)
check setup_udp_received_datagram_drawn "cell 0:0 has $(ink "$s" 0 0) text pixels" test "$(ink "$s" 0 0)" -gt 4
save_png "$s" setup_udp_received
# An oversize datagram brings "UDP receive error"; the datagram sent while
# that box is up is drawn once it is closed, with nothing else going on.
peer_send "$(head -c 2000 /dev/zero | tr '\0' X)"
box=$(probe wait-dialog "Zelto v3.16" 5000)
check setup_udp_oversize_box "$box" grep -q 'UDP receive error' <<<"$box"
peer_send Q
sleep 0.3
probe press "Zelto v3.16" 1 >/dev/null
probe wait-gone "Zelto v3.16" 5000 >/dev/null
sleep 0.8
s=$(shot udp_after_oversize)
check setup_udp_datagram_after_oversize_drawn "cell 0:1 has $(ink "$s" 0 1) text pixels" test "$(ink "$s" 0 1)" -gt 4

# ---- 2b. Options (Config, below "Terminal"): rows 3 "Reply timeout (ms)"
# and 8 "Status bar" of the options table
open_options() { menu 3 1 && setup_box=$(probe wait-dialog Options 5000); }
options_state() { reader_caption=Options controls 903 908 | sed -n 's/^903 [0-9] \(.*\)/\1/p; s/^908 \([0-9]\).*/\1/p' | paste -sd' '; }
if open_options; then pass options_dialog_opens_from_menu; else fail options_dialog_opens_from_menu "$setup_box"; fi
fits=$(probe fit-open Options "$(sed 's|/|\\|g' <<<"Z:$ZW_APP/ZELTO.EXE")" 101)
cut=$(grep -E '^(fit .*whole=0|error)' <<<"$fits")
check options_dialog_texts_whole "${cut:-$fits}" test -z "$cut" -a "$(grep -c '^fit ' <<<"$fits")" -ge 10
crop_dialog options
# A number out of range, with the status bar ticked: refused with a box, the
# dialog stays; Cancel then leaves both as they were.
click 908
enter 903 50
keys Return
box=$(probe wait-dialog "Zelto v3.16" 5000)
check options_bad_number_box "$box" grep -q 'text="Reply timeout (ms):\\ntakes a whole number from 100 to 600000."' <<<"$box"
probe press "Zelto v3.16" 1 >/dev/null
probe wait-gone "Zelto v3.16" 3000 >/dev/null
check options_dialog_stays_after_bad_number "$(options_state)" test "$(options_state)" = "50 1"
keys Escape
probe wait-gone Options 3000 >/dev/null
open_options
check options_refused_ok_and_cancel_change_nothing "$(options_state)" test "$(options_state)" = "5000 0"
click 908
enter 903 2500
keys Return
check options_ok_closes_dialog "$(probe dialogs)" probe wait-gone Options 5000
wait_foreground 5000
# The status bar is there at once, along the bottom of the client area.
sleep 0.5
wait_foreground 5000
s=$(shot status_bar_on)
cx=$(field clientx "$ZW_WINDOW") cy=$(field clienty "$ZW_WINDOW") ch=$(field clienth "$ZW_WINDOW")
bar=$("$ZW_TOOLS/imgcheck" ink "$s" "$cx" $((cy + ch - 14)) 300 12)
check options_status_bar_shown_at_once "ink $bar" test "$bar" -gt 200

# ---- 3. Save Setup, then Exit: the preset beside the executable, the
# options beside it
menu 3 0 1   # Config, Up from "Terminal" wraps to "Save Setup"
for _ in $(seq 60); do [ -f "$preset" ] && [ "$(stat -c %s "$preset")" -eq 630 ] && break; sleep 0.05; done
ls -la "$ZW_APP" >"$ZW_WORK/after_save.txt"
menu 0 0 1   # File, Up wraps to "Exit"
if zelto_wait_exit 10000; then pass setup_exit_after_save; else fail setup_exit_after_save "still running"; fi
ZW_PID=
byte_at() { od -An -v -tu1 -j "$1" -N 1 "$preset" | tr -d ' '; }
# text_at OFFSET WIDTH: the zero-terminated text of a field.
text_at() { dd if="$preset" bs=1 skip="$1" count="$2" 2>/dev/null | tr '\0' '\n' | head -n 1; }
if [ -f "$preset" ]; then
  size=$(stat -c %s "$preset")
  check setup_preset_is_630_bytes "$size bytes" test "$size" -eq 630
  check setup_preset_format_byte_12 "byte 0 = $(byte_at 0)" test "$(byte_at 0)" = 12
  check setup_preset_link_kind_udp "byte 6 = $(byte_at 6)" test "$(byte_at 6)" = 1
  check setup_preset_typed_delimiter_0a "byte 11 = $(byte_at 11)" test "$(byte_at 11)" = 10
  check setup_preset_serial_port_kept "byte 1 = $(byte_at 1), byte 2 = $(byte_at 2)" test "$(byte_at 1)/$(byte_at 2)" = 1/48
  check setup_preset_ip_text "\"$(text_at 14 32)\"" test "$(text_at 14 32)" = 127.0.0.1
  check setup_preset_port_texts "rx \"$(text_at 46 16)\" tx \"$(text_at 62 16)\"" \
    test "$(text_at 46 16)|$(text_at 62 16)" = "$rx_port|$tx_port"
  cp "$preset" "$ZW_WORK/saved.set"
  ini=$(tr -d '\r' <"$ZW_APP/ZELTO.INI" 2>&1)
  check options_saved_in_ini "$ini" test "$(grep -cxE 'timeout_ms = 2500|status_bar = 1' <<<"$ini")" = 2
else
  fail setup_preset_is_630_bytes "no ZELTO.SET in $ZW_APP: $(ls "$ZW_APP")"
fi

# ---- 4. second start: UDP to the peer again, without touching Setup
: >"$peer_rx"
zelto_start unconnected || { fail setup_restart_window_opens "no window"; exit 1; }
wait_foreground 5000
boxes=$(probe dialogs)
check setup_restart_without_message "$boxes" test -z "$boxes"
typed z
if wait_peer 7a 5000; then pass setup_restart_udp_from_preset; else fail setup_restart_udp_from_preset "peer got '$(peer_got)'"; fi
check setup_restart_typed_byte_not_on_com1 "device got $(dev_rx)" test -z "$(dev_rx)"
if open_setup; then
  f=$(link_fields)
  check setup_restart_dialog_shows_saved_link "$f" test "$f" = "1|127.0.0.1|$rx_port|$tx_port"
  keys Escape   # Cancel
  probe wait-gone Setup 3000 >/dev/null || fail setup_escape_closes_dialog "still open"
else
  fail setup_restart_dialog_shows_saved_link "$setup_box"
fi
# typed_delimiter TEXT BYTE: typed into the dialog, Ok, Save Setup: the
# preset holds the byte.
typed_delimiter() {
  local t
  if ! open_setup; then
    fail "setup_preset_typed_delimiter_$1" "no dialog: $setup_box"
    return
  fi
  enter 502 "$1"
  keys Return
  probe wait-gone Setup 5000 >/dev/null
  wait_foreground 3000
  menu 3 0 1
  for ((t = 0; t < 60; t++)); do [ "$(byte_at 11)" = "$2" ] && break; sleep 0.05; done
  check "setup_preset_typed_delimiter_$1" "byte 11 = $(byte_at 11)" test "$(byte_at 11)" = "$2"
}
typed_delimiter FF 255
typed_delimiter 0D 13
cp "$preset" "$ZW_WORK/saved.set"
zelto_stop
check setup_preset_not_rewritten_at_exit "" cmp -s "$preset" "$ZW_WORK/saved.set"

# ---- 5. damaged presets: ignored without a word, the defaults (COM1) used
damaged() {  # NAME: starts with the preset now beside the executable
  local name=$1 before=$2
  : >"$peer_rx"
  dev clear
  if ! zelto_start; then
    fail "setup_${name}_starts_on_com1" "no window or COM1 not opened: $(probe dialogs)"
    zelto_stop
    return
  fi
  pass "setup_${name}_starts_on_com1"
  wait_foreground 5000
  sleep 0.3
  boxes=$(probe dialogs)
  check "setup_${name}_no_message_box" "$boxes" test -z "$boxes"
  typed q
  if wait_rx 71 5000; then pass "setup_${name}_typed_byte_reaches_com1"; else fail "setup_${name}_typed_byte_reaches_com1" "device got $(dev_rx)"; fi
  check "setup_${name}_nothing_sent_over_udp" "peer got '$(peer_got)'" test -z "$(peer_got)"
  zelto_stop
  check "setup_${name}_file_left_as_it_was" "" cmp -s "$preset" "$before"
}
head -c 629 "$ZW_WORK/saved.set" >"$preset"
cp "$preset" "$ZW_WORK/short.set"
damaged short_preset "$ZW_WORK/short.set"
{ printf '\x0d'; tail -c +2 "$ZW_WORK/saved.set"; } >"$preset"
cp "$preset" "$ZW_WORK/format13.set"
damaged format_13_preset "$ZW_WORK/format13.set"

echo quit >>"$peer_cmd"
zw_finish
