#!/usr/bin/env bash
# The README's quick start on a fresh clone of the committed tree: run.sh
# (here with --version, so that no window waits), then the README's kelvaro
# example and its install command into a scratch prefix.
#   scripts/check-quick-start.sh SOURCE_DIR
set -euo pipefail
source=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

git clone -q "$source" "$work/clone"
cd "$work/clone"
fails=0
fail() { echo "$1" >&2; fails=1; }

version=$(QT_QPA_PLATFORM=offscreen ./scripts/run.sh --version 2>"$work/run.log" | tail -n 1) ||
  { tail -n 30 "$work/run.log" >&2; fail "scripts/run.sh failed"; }
[[ $version =~ ^kelvarolaskuri\ [0-9.]+$ ]] || fail "run.sh --version printed: $version"

value=$(LC_ALL=C.UTF-8 build/cli/kelvaro --valuation "2006-03-01 10:00" --expiry 2006-04-21 --value-at 15) ||
  fail "build/cli/kelvaro is missing or failed after run.sh"
[ "${value:-}" = 0.14155779751117264 ] || fail "unexpected value at 15: ${value:-}"

if cmake --install build --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  for f in bin/kelvaro bin/kelvarolaskuri share/man/man1/kelvaro.1.gz \
    share/man/man1/kelvarolaskuri.1.gz share/applications/fi.kelvaro.Kelvarolaskuri.desktop; do
    [ -f "$work/prefix/$f" ] || fail "not installed: $f"
  done
else
  cat "$work/install.log" >&2
  fail "cmake --install after run.sh failed"
fi
# The README's Python line against the install, where the build made the module.
if compgen -G "build/python/kelvaro/_kelvaro*.so" >/dev/null; then
  python_value=$(cd "$work" && PYTHONPATH="$work/prefix/lib/python3/dist-packages" /usr/bin/python3 -c \
    "import kelvaro; print(kelvaro.value(valuation='2006-03-01 10:00', expiry='2006-04-21').values[510])") ||
    fail "import kelvaro from the install failed"
  [ "${python_value:-}" = 0.1415577975111163 ] || fail "unexpected Python value: ${python_value:-}"
fi
[ "$fails" = 0 ] && echo "quick start and install work on a fresh clone"
exit "$fails"
