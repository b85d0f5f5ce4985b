#!/usr/bin/env bash
# Installs the Debian packages that running, building and testing Zelto need: "run" only what starting it takes, "test" everything.
#
#   bash scripts/install-deps.sh native  building the native program zelto and
#                                        running it with its demonstration
#                                        device (scripts/run.sh)
#   bash scripts/install-deps.sh run     building ZELTO.EXE and running it
#                                        under Wine with its demonstration
#                                        device (scripts/run.sh --wine); with
#                                        the system's suite's source entry,
#                                        for the terminal emulator library
#                                        ZELTO.EXE is built from (cmake/vterm.cmake)
#   bash scripts/install-deps.sh screen  what run.sh --xvfb adds: a virtual
#                                        display and its screenshots
#   bash scripts/install-deps.sh package the tools of the installable
#                                        packages (scripts/release.sh): the
#                                        .deb's checks and the NSIS installer
#   bash scripts/install-deps.sh [test]  all of it, with the native build, the
#                                        test, analysis and benchmark tools
#                                        (scripts/test.sh)
#
# Idempotent and quick when nothing is missing: one dpkg query, and apt-get
# only for what is missing.
set -euo pipefail

native=(cmake ninja-build g++ pkg-config libgtk-3-dev libvterm-dev fonts-liberation gforth)
# dpkg-dev unpacks libvterm's source package (apt-get source), perl runs its
# generator of the character set tables.
run=(cmake ninja-build g++ g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
     wine wine64 fonts-wine fonts-liberation gforth dpkg-dev perl xz-utils)
screen=(xvfb imagemagick xdotool)
package=(dpkg-dev fakeroot lintian desktop-file-utils appstream nsis python3)
test=(build-essential pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
      xdotool x11-utils xclip picocom xterm iproute2 python3 clang clang-tidy cppcheck libclang-rt-14-dev bc
      lrzsz vttest tmux xxd)

want=()
sources=0
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(test)
for g in "${groups[@]}"; do
  case $g in
    native) want+=("${native[@]}") ;;
    run) want+=("${run[@]}"); sources=1 ;;
    screen) want+=("${screen[@]}") ;;
    package) want+=("${package[@]}") ;;
    test) want+=("${native[@]}" "${run[@]}" "${screen[@]}" "${package[@]}" "${test[@]}"); sources=1 ;;
    *) echo "install-deps: unknown group $g (native, run, screen, package or test)" >&2; exit 2 ;;
  esac
done

# One query for all of them: a start of the program that runs this first
# stays quick.
missing=()
# dpkg-query fails for a package it has never heard of, as on a new machine:
# that is an answer here (missing), not an error.
installed=" $({ dpkg-query -W -f='${db:Status-Abbrev}${Package} ' "${want[@]}" 2>/dev/null || true; } |
  grep -oE 'ii +[^ ]+' | awk '{print $2}' | tr '\n' ' ' || true) "
for p in "${want[@]}"; do
  [[ $installed == *" $p "* ]] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
fi

# ZELTO.EXE compiles libvterm from the Debian source package of the system's
# own suite (the version its native build links), fetched by `apt-get source`
# at configure time. That needs a deb-src entry for the suite: added once, in
# a file of its own beside the system's entries, from the mirror and suite the
# system already uses. Known sources cost one apt-cache query and nothing more.
if [ "$sources" = 1 ] && ! apt-cache showsrc libvterm 2>/dev/null | grep -q '^Package: libvterm$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: no deb-src entry for libvterm's source package; run as root" >&2
    exit 1
  fi
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "install-deps: /etc/os-release names no suite (VERSION_CODENAME)" >&2; exit 1; }
  # The mirror of the configured binary entry for that suite, whatever the
  # format of the file that names it, and whether it names the suite by its
  # code name or (as "stable") by what its Release file says it is.
  mirror=$(apt-get indextargets --format '$(RELEASE) $(COMPONENT) $(REPO_URI) $(CODENAME)' 'Identifier: Packages' |
    awk -v s="$codename" '($1 == s || $4 == s) && $2 == "main" { print $3; exit }')
  [ -n "$mirror" ] || { echo "install-deps: no Debian entry for $codename main in the apt sources" >&2; exit 1; }
  list=/etc/apt/sources.list.d/zelto-sources.sources
  echo "install-deps: adding the source entry $mirror $codename main ($list)"
  {
    echo "# Added by Zelto's scripts/install-deps.sh: libvterm's sources for ZELTO.EXE."
    echo "Types: deb-src"
    echo "URIs: $mirror"
    echo "Suites: $codename"
    echo "Components: main"
    [ ! -f /usr/share/keyrings/debian-archive-keyring.gpg ] ||
      echo "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  } >"$list"
  apt-get update -qq
  apt-cache showsrc libvterm 2>/dev/null | grep -q '^Package: libvterm$' ||
    { echo "install-deps: libvterm's source package is still unknown to apt after adding $list" >&2; exit 1; }
fi
