#!/usr/bin/env bash
# Installs what is missing, builds the calculator (both programs and what
# `cmake --install` puts beside them, so that every command of the README
# works afterwards) and starts its window. Arguments go to the window
# (`--help`, `--version`, Qt's own options).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD_DIR" -j"$(nproc)"
exec "$BUILD_DIR/app/kelvarolaskuri" "$@"
