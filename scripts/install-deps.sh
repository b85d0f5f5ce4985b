#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Zelto need.
# Idempotent: packages already present are left alone, and apt-get is only
# asked when something is missing.
set -euo pipefail

want=(build-essential cmake ninja-build pkg-config
      googletest libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
      wine wine64 xvfb xdotool x11-utils imagemagick
      gforth picocom iproute2 clang clang-tidy cppcheck libclang-rt-14-dev bc
      libgtk-3-dev fonts-liberation xterm)

# One query for all of them: a start of the program that runs this first
# stays quick.
declare -A installed=()
while read -r name state; do
  [ "$state" = "install ok installed" ] && installed[${name%%:*}]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${want[@]}" 2>/dev/null)
missing=()
for p in "${want[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
