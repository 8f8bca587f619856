#!/usr/bin/env bash
# Installs what is missing, builds the calculator and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD_DIR" -j"$(nproc)" --target kelvarolaskuri
exec "$BUILD_DIR/app/kelvarolaskuri" "$@"
