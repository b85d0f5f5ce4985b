#!/usr/bin/env bash
# Builds the Debian package of the native program, dist/zelto_VERSION_ARCH.deb, and checks it: its contents, the menu entry (desktop-file-validate), the AppStream data (appstreamcli validate) and lintian (no error). Sourced by release.sh, which sets root, version and dist.
#
# The program is built with Debian's hardening flags (dpkg-buildflags) in
# build/release-deb; its dependencies are read from the binary
# (dpkg-shlibdeps), so the package pulls in GTK 3's libraries and nothing of
# the build.

deb_build() {
  local build=build/release-deb pkg arch deb size depends date
  arch=$(dpkg --print-architecture)
  deb=$dist/zelto_${version}_${arch}.deb
  # The date of the version's last change: the same sources give the same
  # package texts.
  date=$(git log -1 --format=%cs -- app/version.h 2>/dev/null || true)
  [ -n "$date" ] || date=$(date -u +%F)

  echo "release: building zelto for the Debian package in $build"
  # Given on each configure: the environment's flags count only at the first.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  cmake --build "$build" --target zelto -j "$(nproc)" >"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; echo "release: the native build failed" >&2; return 1; }

  pkg=$build/pkg
  rm -rf "$pkg"
  (
    umask 022
    mkdir -p "$pkg/DEBIAN" "$pkg/usr/bin" "$pkg/usr/share/applications" "$pkg/usr/share/metainfo" \
      "$pkg/usr/share/man/man1" "$pkg/usr/share/doc/zelto"
    install -m 755 "$build/zelto" "$pkg/usr/bin/zelto"
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$pkg/usr/bin/zelto"
    install -m 644 packaging/zelto.desktop "$pkg/usr/share/applications/zelto.desktop"
    sed "s/@VERSION@/$version/; s/@DATE@/$date/" packaging/zelto.metainfo.xml.in \
      >"$pkg/usr/share/metainfo/org.zelto.Zelto.metainfo.xml"
    sed "s/@VERSION@/$version/g; s/@DATE@/$date/g" packaging/zelto.1 | gzip -9n >"$pkg/usr/share/man/man1/zelto.1.gz"
    # The icon at the theme's usual sizes, drawn from the program's own.
    local s
    for s in 16 22 24 32 48 64 128 256; do
      mkdir -p "$pkg/usr/share/icons/hicolor/${s}x${s}/apps"
      python3 scripts/make_icon.py --png "$s" "$pkg/usr/share/icons/hicolor/${s}x${s}/apps/zelto.png"
    done
    install -m 644 packaging/copyright "$pkg/usr/share/doc/zelto/copyright"
    # The user guide as it is, readable with any pager, and the Linux page it
    # links to.
    install -m 644 docs/guide.md "$pkg/usr/share/doc/zelto/guide.md"
    install -m 644 docs/linux.md "$pkg/usr/share/doc/zelto/linux.md"
    sed "s/@VERSION@/$version/; s/@DATE@/$(date -u -d "$date" -R)/" packaging/changelog |
      gzip -9n >"$pkg/usr/share/doc/zelto/changelog.gz"
    find "$pkg" -type d -exec chmod 755 {} +
  ) || return 1

  # dpkg-shlibdeps reads the package's name from a debian/control.
  mkdir -p "$build/shlibs/debian"
  printf 'Source: zelto\n\nPackage: zelto\nArchitecture: any\n' >"$build/shlibs/debian/control"
  depends=$(cd "$build/shlibs" && dpkg-shlibdeps -O "$root/$pkg/usr/bin/zelto" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || { echo "release: dpkg-shlibdeps found no dependencies of zelto" >&2; return 1; }

  (cd "$pkg" && find usr -type f -exec md5sum {} + | sort -k 2 >DEBIAN/md5sums)
  chmod 644 "$pkg/DEBIAN/md5sums"
  size=$(du -k -s --exclude=DEBIAN "$pkg" | cut -f1)
  sed "s/@VERSION@/$version/; s/@ARCH@/$arch/; s/@SIZE@/$size/; s/@DEPENDS@/$depends/" packaging/control >"$pkg/DEBIAN/control"
  chmod 644 "$pkg/DEBIAN/control"
  rm -f "$dist"/zelto_*.deb
  SOURCE_DATE_EPOCH=$(date -u -d "$date" +%s) dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null ||
    { echo "release: dpkg-deb failed" >&2; return 1; }

  deb_check "$deb" || return 1
  echo "release: $deb ($(stat -c %s "$deb") bytes), depends on: $depends"
}

# The package's own checks: what it holds, and the validators' word on it.
deb_check() {
  local deb=$1 list f tmp
  list=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for f in ./usr/bin/zelto ./usr/share/applications/zelto.desktop ./usr/share/man/man1/zelto.1.gz \
    ./usr/share/metainfo/org.zelto.Zelto.metainfo.xml ./usr/share/doc/zelto/copyright \
    ./usr/share/doc/zelto/guide.md \
    ./usr/share/icons/hicolor/48x48/apps/zelto.png ./usr/share/icons/hicolor/256x256/apps/zelto.png; do
    grep -qx "$f" <<<"$list" || { echo "release: $deb lacks $f" >&2; return 1; }
  done
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "release: $deb is not version $version" >&2; return 1; }
  tmp=$(mktemp -d)
  dpkg-deb -x "$deb" "$tmp"
  desktop-file-validate "$tmp/usr/share/applications/zelto.desktop" || { rm -rf "$tmp"; return 1; }
  appstreamcli validate --no-net "$tmp/usr/share/metainfo/org.zelto.Zelto.metainfo.xml" >"$tmp.appstream" 2>&1 ||
    { cat "$tmp.appstream" >&2; rm -rf "$tmp" "$tmp.appstream"; return 1; }
  # The manual page as man shows it: no warning from the formatter.
  if LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
      "$tmp/usr/share/man/man1/zelto.1.gz" 2>&1 >/dev/null | grep .; then
    echo "release: the manual page has formatting warnings" >&2
    rm -rf "$tmp" "$tmp.appstream"
    return 1
  fi
  rm -rf "$tmp" "$tmp.appstream"
  # Errors and warnings fail the release: there are none to explain. Of the
  # informational tags, spelling-error-in-binary ("beeing") is the about
  # box's text as the program has always shown it, and hardening-no-bindnow
  # is gone with hardening=+all.
  # Its report stays in the build folder: dist/ holds only what is shipped.
  local report=build/release-deb/lintian.txt
  lintian --tag-display-limit 0 "$deb" >"$report" 2>&1
  if grep -q '^E:' "$report"; then
    cat "$report" >&2
    echo "release: lintian reports errors on $deb" >&2
    return 1
  fi
  if grep -q '^W:' "$report"; then
    cat "$report" >&2
    echo "release: lintian warns about $deb" >&2
    return 1
  fi
}
