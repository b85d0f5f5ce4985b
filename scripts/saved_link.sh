# What the saved settings (ZELTO.SET) make the program talk to, told before it starts; sourced by the run scripts, which define say().

# saved_link PRESET: "udp IP RX TX", "serial PORT BAUD", or nothing for a
# missing or damaged preset (the program then starts on COM1 at 115200).
saved_link() {
  local f=$1
  [ -f "$f" ] && [ "$(stat -c %s "$f")" -eq 630 ] || return 0
  byte() { od -An -tu1 -j "$1" -N 1 "$f" | tr -d ' '; }
  text() { dd if="$f" bs=1 skip="$1" count="$2" 2>/dev/null | tr '\0' '\n' | head -n 1; }
  [ "$(byte 0)" = 12 ] || return 0
  if [ "$(byte 6)" != 0 ]; then
    echo "udp $(text 14 32) $(text 46 16) $(text 62 16)"
  else
    echo "serial $(byte 1) $(($(byte 2) * 2400))"
  fi
}

# tell_saved_link PRESET DEMO_PTY: says which link the saved settings open;
# DEMO_PTY is the demonstration device's pseudo-terminal, or empty. The
# hint to type into gforth is given only when COM1 is what opens.
tell_saved_link() {
  local link kind a b c
  link=$(saved_link "$1")
  read -r kind a b c <<<"${link:-serial 1 115200}"
  [ -n "$link" ] && say "settings from $1 (delete it for the defaults: COM1 at 115200 baud)"
  if [ "$kind" = udp ]; then
    say "the saved settings use UDP: datagrams to $a port $c, received on port ${b}" \
      "(Config > Terminal switches back to RS-232 and COM1)"
  elif [ "$a" != 1 ]; then
    say "the saved settings use COM$a at $b baud${com[$a]:+ (${com[$a]})}"
  elif [ -n "$2" ]; then
    say "COM1 is gforth on $2: type  2 3 + .  and Enter"
  fi
}
