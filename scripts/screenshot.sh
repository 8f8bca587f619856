#!/usr/bin/env bash
# Takes docs/screenshot.png: the window after a calculation, under Xvfb, with
# Finnish settings (needs xvfb, xauth and imagemagick for `import`);
# docs/figures.png, the volatility search with its figures, and
# docs/scenarios.png, the scenario table beside the window;
# docs/list.png, Warranttilista of docs/batch-example.csv; and
# docs/chart.png, the value chart drawn by kelvaro --chart without a display.
#   scripts/screenshot.sh [output.png]     BUILD_DIR=... to use another build
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
app=$build/app/kelvarolaskuri
out=$(realpath -m "${1:-$root/docs/screenshot.png}")

if [ ! -x "$app" ]; then
  cmake -S "$root" -B "$build" -DKELVARO_BUILD_BENCH=OFF
  cmake --build "$build" --target kelvarolaskuri -j2
fi
bash "$root/scripts/install-deps.sh" imagemagick x11-utils
for tool in xvfb-run import xwininfo; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"

# KELVARO_DEMO makes the window pick an expiry a year ahead and press Laske
# (2: Hae at a share price, 3: the scenario table too). Takes the window
# alone, or the whole screen when a second window stands beside it.
shoot() { # demo output screen-width
  DEMO=$1 SHOT=$2 APP="$app" KELVARO_DEMO=$1 LC_ALL=fi_FI.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 ${3}x640x24" bash -c '
    "$APP" 2>/dev/null &
    pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    for _ in $(seq 100); do
      xwininfo -name Kelvarolaskuri >/dev/null 2>&1 && break
      sleep 0.1
    done
    sleep 4  # the calculation and the repaint after it
    if [ "$DEMO" = 1 ]; then import -window Kelvarolaskuri "$SHOT"; else import -window root "$SHOT"; fi
  '
  echo "wrote $2"
}
shoot 1 "$out" 800
shoot 2 "$(dirname "$out")/figures.png" 1160
shoot 3 "$(dirname "$out")/scenarios.png" 1300

# Warranttilista of the example list, opened by --list, its first row selected
# (its vega and rho below the table).
list_shot() { # output
  SHOT=$1 APP="$app" LIST="$root/docs/batch-example.csv" LC_ALL=fi_FI.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1300x700x24" bash -c '
    "$APP" --list "$LIST" 2>/dev/null &
    pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    name="Warranttilista – batch-example.csv"
    for _ in $(seq 100); do
      xwininfo -name "$name" >/dev/null 2>&1 && break
      sleep 0.1
    done
    sleep 6  # the rows, then vega and rho of the first
    import -window "$name" "$SHOT"
  '
  echo "wrote $1"
}
list_shot "$(dirname "$out")/list.png"


# The value chart of the worked example, drawn by kelvaro without a display.
chart=$(dirname "$out")/chart.png
cmake --build "$build" --target kelvaro -j2 >/dev/null
LC_ALL=fi_FI.UTF-8 QT_QPA_PLATFORM=offscreen "$build/cli/kelvaro" --valuation "2006-03-01 10:00" \
  --expiry 2006-04-21 --value-at 15 --chart "$chart" >/dev/null
echo "wrote $chart"
