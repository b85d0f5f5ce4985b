#!/usr/bin/env bash
# End to end: a preset file saved by zelto loads in ZELTO.EXE under Wine, and one saved by ZELTO.EXE loads in zelto; each program shows it by opening the UDP link on the saved receive port.
. "$ZG_LIB"

if [ -z "${ZG_WINBUILD:-}" ] || ! command -v wine >/dev/null; then
  echo "SKIP preset_between_the_programs: no ZELTO.EXE (give the Windows build folder) or no Wine"
  exit 0
fi

# zelto saves: UDP on a receive port of this test.
port=$((20000 + RANDOM % 20000))
zelto_start || { fail preset_zelto_starts "no window"; zg_finish; }
setup_udp "$port" || fail preset_zelto_setup "the Setup dialog did not take UDP"
focus_main
menu_item 3 "$ZG_SAVE_Y"   # Save Setup
zelto_exit
check preset_zelto_saves_630_bytes "" test "$(stat -c %s "$ZG_APP/ZELTO.SET" 2>/dev/null)" = 630
# Each file is written under a name of its own and renamed over the old one.
check preset_zelto_leaves_no_new_file_behind "$(ls "$ZG_APP")" test -z "$(ls "$ZG_APP" | grep -v -xE 'zelto|ZELTO\.(SET|INI)')"

# ZELTO.EXE under Wine, in a folder of its own with that file beside it.
export WINEPREFIX=$ZG_WORK/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -f -p >/dev/null 2>&1 </dev/null &
echo $! >>"$ZG_OUT/started.pids"
wineboot -i >"$ZG_WORK/wineboot.log" 2>&1 </dev/null
win=$ZG_WORK/win
mkdir -p "$win"
cp "$ZG_WINBUILD/ZELTO.EXE" "$ZG_APP/ZELTO.SET" "$win/"
(cd "$win" && exec wine ZELTO.EXE) >"$ZG_WORK/wine.log" 2>&1 </dev/null &
echo $! >>"$ZG_OUT/started.pids"
check preset_zelto_file_loads_in_zelto_exe "port $port: $(ss -ulnpH 2>/dev/null | tr '\n' ' ')" \
  wait_udp_bound "$port" 'ZELTO\.EXE\|wine' 30000

# ZELTO.EXE saves the settings it runs with (Save Setup, posted to its
# window) into a file of its own making; zelto then opens that link.
rm -f "$win/ZELTO.SET"
probe=$ZG_WINBUILD/winprobe.exe
wine "$probe" post 0x111 333 0 >/dev/null 2>&1 </dev/null
for _ in $(seq 100); do [ -s "$win/ZELTO.SET" ] && break; sleep 0.1; done
check preset_zelto_exe_saves_630_bytes "" test "$(stat -c %s "$win/ZELTO.SET" 2>/dev/null)" = 630
for _ in $(seq 50); do [ -s "$win/ZELTO.INI" ] && break; sleep 0.1; done
check preset_zelto_exe_leaves_no_new_file_behind "$(ls "$win")" test -z "$(ls "$win" | grep -v -xE 'ZELTO\.(EXE|SET|INI)')"
wine "$probe" post 0x10 0 0 >/dev/null 2>&1 </dev/null   # WM_CLOSE
for _ in $(seq 100); do udp_bound "$port" . || break; sleep 0.1; done
cp "$win/ZELTO.SET" "$ZG_APP/ZELTO.SET"
zelto_start || fail preset_zelto_restarts "no window"
check preset_zelto_exe_file_loads_in_zelto "port $port: $(ss -ulnpH 2>/dev/null | tr '\n' ' ')" \
  wait_udp_bound "$port" zelto 10000
wineserver -k >/dev/null 2>&1
zg_finish
