#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix and a mount namespace of its own (tests/package/run.sh starts it with unshare -m): silent install, the installed ZELTO.EXE saving its settings to %APPDATA%\Zelto\ while its folder is read-only, silent uninstall.
#
#   setup_wine.sh <setup.exe> <winprobe.exe> <work-dir> <version>
set -uo pipefail
setup=$1 probe=$2 work=$3 version=$4
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# No menu entries on this machine for the shortcut the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
pids=()
finish() {
  wineserver -k >/dev/null 2>&1
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap finish EXIT
pass() { echo "PASS $1"; }
fail() { echo "FAIL $1${2:+: $2}"; }
check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then pass "$name"; else fail "$name" "$detail"; fi
}
# Wine's output goes to files, never a pipe a reader waits on.
w() { wine "$@" >>"$work/wine.log" 2>&1 </dev/null; }
probe() { wine "$probe" "$@" >"$work/probe.out" 2>/dev/null </dev/null; }
wait_for() {   # wait_for SECONDS COMMAND...
  local t=$(($1 * 10))
  shift
  for ((; t > 0; t--)); do "$@" && return 0; sleep 0.1; done
  return 1
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto'
registered() { wine reg query "$uninstall_key" /v DisplayName /reg:64 >"$work/reg.out" 2>&1 </dev/null; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 5 test -s "$work/display"
export DISPLAY=:$(tr -d '\n' <"$work/display")
wineserver -p >/dev/null 2>&1 </dev/null
wineboot -i >"$work/wineboot.log" 2>&1 </dev/null

pf=$WINEPREFIX/drive_c/Program\ Files/Zelto
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Zelto.lnk
w "$setup" /S
check setup_installs_silently "$(ls -A "$pf" 2>&1 | tr '\n' ' ')" \
  test -f "$pf/ZELTO.EXE" -a -f "$pf/README.md" -a -f "$pf/docs/guide.md" -a -f "$pf/uninstall.exe"
check setup_makes_a_start_menu_shortcut "" test -f "$menu"
registered
check setup_registers_the_uninstaller "$(cat "$work/reg.out")" grep -q "Zelto $version" "$work/reg.out"

# Program Files\Zelto as a user without administrator rights finds it.
mount --bind "$pf" "$pf" && mount -o remount,bind,ro "$pf"
check setup_folder_read_only "" bash -c "! touch '$pf/probe' 2>/dev/null"
(cd "$work" && exec wine 'C:\Program Files\Zelto\ZELTO.EXE' >"$work/zelto.log" 2>&1 </dev/null) &
zelto=$!
pids+=($zelto)
# COM1 leads nowhere here: the open failure comes first, then the window.
probe wait-dialog "Zelto v$version" 30000 && probe press "Zelto v$version" 1
if probe window 30000; then
  pass setup_installed_program_starts
  probe post 0x111 333 0   # Config > Save Setup
  saved() { find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/Zelto/ZELTO.SET' -size 630c | grep -q .; }
  check setup_save_setup_writes_to_appdata "$(find "$WINEPREFIX/drive_c/users" -name 'ZELTO.*')" wait_for 10 saved
  check setup_nothing_written_beside_the_program "" test ! -e "$pf/ZELTO.SET"
  probe post 0x10 0 0      # WM_CLOSE
  probe wait-closed 10000
else
  fail setup_installed_program_starts "$(cat "$work/probe.out")"
fi
wait_for 10 bash -c "! kill -0 $zelto 2>/dev/null"
# Lazily: the wineserver may still hold the program's file for a moment.
umount -l "$pf"

# The uninstaller runs a copy of itself from the temporary folder and ends.
w 'C:\Program Files\Zelto\uninstall.exe' /S
check setup_uninstalls "$(ls -A "$pf" 2>&1 | tr '\n' ' ')" wait_for 30 test ! -e "$pf"
check setup_uninstall_removes_the_shortcut "" test ! -e "$menu"
check setup_uninstall_unregisters "$(cat "$work/reg.out")" bash -c '! wine reg query "$0" /reg:64 >/dev/null 2>&1 </dev/null' "$uninstall_key"
check setup_uninstall_keeps_the_users_settings "" saved
