#!/usr/bin/env bash
# Builds the Debian package in BUILD_DIR, unpacks it into a scratch root and
# runs the unpacked kelvaro from there: its version and one valuation.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A group-writable umask, as many desktops have, must not leak into the package.
(umask 002 && cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log") || {
  cat "$work/cpack.log" >&2
  exit 1
}
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

dpkg-deb -x "$deb" "$work/root"
fails=0
expect_file() {
  if [ ! -f "$work/root/$1" ]; then
    echo "missing from the package: /$1" >&2
    fails=1
  fi
}
for f in usr/bin/kelvaro usr/bin/kelvarolaskuri \
  usr/share/applications/fi.kelvaro.Kelvarolaskuri.desktop \
  usr/share/metainfo/fi.kelvaro.Kelvarolaskuri.metainfo.xml \
  usr/share/mime/packages/fi.kelvaro.Kelvarolaskuri.xml \
  usr/share/icons/hicolor/scalable/apps/fi.kelvaro.Kelvarolaskuri.svg \
  usr/share/icons/hicolor/48x48/apps/fi.kelvaro.Kelvarolaskuri.png \
  usr/share/icons/hicolor/256x256/apps/fi.kelvaro.Kelvarolaskuri.png \
  usr/share/man/man1/kelvaro.1.gz usr/share/man/man1/kelvarolaskuri.1.gz \
  usr/share/doc/kelvarolaskuri/copyright usr/share/doc/kelvarolaskuri/changelog.gz; do
  expect_file "$f"
done
# Nothing outside /usr (CPack's own control files aside).
outside=$(cd "$work/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
if [ -n "$outside" ]; then
  echo "installed outside /usr: $outside" >&2
  fails=1
fi
if ! dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6'; then
  echo "Depends lacks the Qt Widgets library" >&2
  fails=1
fi
if [ "$(dpkg-deb -f "$deb" Recommends)" != qt6-translations-l10n ]; then
  echo "Recommends lacks qt6-translations-l10n (Finnish dialogs)" >&2
  fails=1
fi
if ! grep -qx 'StartupWMClass=kelvarolaskuri' \
  "$work/root/usr/share/applications/fi.kelvaro.Kelvarolaskuri.desktop"; then
  echo "the desktop entry does not name the window's class" >&2
  fails=1
fi

# Debian's own package checker, errors and warnings alike.
if command -v lintian >/dev/null; then
  if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>"$work/lintian.err"; then
    grep -v 'running with root privileges' "$work/lintian.err" >&2 || true
    echo "lintian found problems in the package" >&2
    fails=1
  fi
fi

window_version=$(QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/kelvarolaskuri" --version)
[[ $window_version =~ ^kelvarolaskuri\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || {
  echo "unexpected window version: $window_version" >&2
  fails=1
}
kelvaro=$work/root/usr/bin/kelvaro
version=$("$kelvaro" --version)
echo "$version"
[[ $version =~ ^kelvaro\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "unexpected version: $version" >&2; fails=1; }
# The worked example of the README: 1 March to 21 April 2006, strike 15.
value=$(LC_ALL=C.UTF-8 "$kelvaro" --valuation "2006-03-01 10:00" --expiry 2006-04-21 --value-at 15)
echo "value at 15: $value"
[ "$value" = 0.14155779751117264 ] || { echo "unexpected value: $value" >&2; fails=1; }

# The Python module, where the build made one: on Debian's own path, and
# importable from the unpacked package alone.
if compgen -G "$build/python/kelvaro/_kelvaro*.so" >/dev/null; then
  site=usr/lib/python3/dist-packages
  expect_file "$site/kelvaro/__init__.py"
  compgen -G "$work/root/$site/kelvaro/_kelvaro*.so" >/dev/null || {
    echo "missing from the package: /$site/kelvaro/_kelvaro*.so" >&2
    fails=1
  }
  from_python=$(cd "$work" && PYTHONPATH="$work/root/$site" /usr/bin/python3 -c "import kelvaro
assert kelvaro.__file__.startswith('$work/root/'), kelvaro.__file__
print(kelvaro.value(valuation='2006-03-01 10:00', expiry='2006-04-21').values[510])") ||
    { echo "the packaged Python module does not import or value" >&2; fails=1; }
  echo "Python values[510]: ${from_python:-}"
  [ "${from_python:-}" = 0.1415577975111163 ] || { echo "unexpected Python value" >&2; fails=1; }
fi
exit "$fails"
