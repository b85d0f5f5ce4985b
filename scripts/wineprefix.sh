# Shell functions that set up a Wine prefix for ZELTO.EXE: Windows' dialog fonts, and registry values written while no wineserver runs. Sourced by scripts/run.sh and tests/wine/run.sh.
# shellcheck shell=bash

# The dialog fonts. Windows draws the dialogs of a program of this age in
# "MS Sans Serif" 8 (its templates name "Helv", and "MS Shell Dlg" for the
# system's own dialogs, both substitutes of it), and their layout in dialog
# units is made to fit that font's widths. Wine ships a bitmap face with the
# same metrics (sserife.fon, package fonts-wine) and registers it, but does
# not put it into a prefix; with it missing, "MS Sans Serif" falls back to a
# wider face and the dialogs' texts are cut. Faces of Arial's metrics are
# too wide as well: the longest lines of the about box need 423 to 432
# pixels of 420 in Liberation Sans, Nimbus Sans or DejaVu Sans Condensed.
ZELTO_DIALOG_FACE="MS Sans Serif"
ZELTO_SUBSTITUTED_FACES=("Helv" "MS Shell Dlg")
ZELTO_FONT_FILES=(/usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/sserife.fon)

# zelto_prefix_fonts PREFIX: Wine's own faces (Tahoma, Marlett for the
# caption buttons, MS Sans Serif) into the prefix's fonts folder.
zelto_prefix_fonts() {
  local f dir=$1/drive_c/windows/Fonts
  mkdir -p "$dir"
  for f in "${ZELTO_FONT_FILES[@]}"; do
    [ -f "$f" ] && [ ! -f "$dir/${f##*/}" ] && cp "$f" "$dir/"
  done
  return 0
}

# reg_file_set FILE KEY MODE NAME=VALUE...: writes string values into a key
# of a prefix's registry file (system.reg for HKLM, user.reg for HKCU), KEY
# as the file writes it ('Software\\Wine\\Ports'). MODE "merge" replaces or
# adds the values named, and deletes those given without "=VALUE"; MODE
# "only" leaves the key with exactly the values given. The wineserver must not
# run: it keeps the registry in memory and writes it back when it ends. This
# is what lets a start set its ports without a wineserver started, stopped
# and started again to read them.
reg_file_set() {
  local file=$1 key=$2 mode=$3
  shift 3
  [ -f "$file" ] || return 1
  local tmp=$file.zelto-tmp
  ZELTO_REG_KEY=$key awk -v mode="$mode" -v now="$(date +%s)" '
    function esc(s) { gsub(/\\/, "\\\\", s); gsub(/"/, "\\\"", s); return s }
    function flush(   i) {
      for (i = 1; i <= n; i++) if (has[i]) printf "\"%s\"=\"%s\"\n", esc(names[i]), esc(vals[i])
      done = 1
    }
    BEGIN {
      n = ARGC - 2
      for (i = 1; i <= n; i++) {
        a = ARGV[i + 1]
        p = index(a, "=")
        if (p) { names[i] = substr(a, 1, p - 1); vals[i] = substr(a, p + 1); has[i] = 1 }
        else { names[i] = a; has[i] = 0 }
        ARGV[i + 1] = ""
      }
      key = ENVIRON["ZELTO_REG_KEY"]   # as it is: -v would read its backslashes as escapes
      header = "[" tolower(key) "]"
    }
    inkey && cont { cont = ($0 ~ /\\$/); next }
    inkey && /^$/ { flush(); inkey = 0; print; next }
    inkey && /^"/ {
      drop = (mode == "only")
      for (i = 1; i <= n; i++) if (index(tolower($0), "\"" tolower(esc(names[i])) "\"=") == 1) drop = 1
      if (drop) { cont = ($0 ~ /\\$/); next }
    }
    !inkey && index(tolower($0), header " ") == 1 { inkey = 1 }
    { print }
    END {
      if (inkey) flush()
      if (!done) { printf "\n[%s] %s\n", key, now; flush() }
    }
  ' "$file" "$@" >"$tmp" && mv "$tmp" "$file"
}

# zelto_prefix_font_registry PREFIX: the substitutes of Windows' dialog
# faces, into a prefix whose wineserver does not run.
zelto_prefix_font_registry() {
  local f subs=()
  for f in "${ZELTO_SUBSTITUTED_FACES[@]}"; do subs+=("$f=$ZELTO_DIALOG_FACE"); done
  reg_file_set "$1/system.reg" 'Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes' merge "${subs[@]}"
}
