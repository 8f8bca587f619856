#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if missing.
#   scripts/install-deps.sh [extra-package ...]
set -euo pipefail

PACKAGES=(
  build-essential
  cmake
  g++
  qt6-base-dev
  qt6-base-dev-tools
  libgl-dev
  libgtest-dev
  googletest
  libbenchmark-dev
  xvfb
  xauth
  fonts-dejavu-core
  clang-14
  libclang-rt-14-dev
  # The format check (.clang-format)
  clang-format-14
  # Value chart and its SVG export
  qt6-charts-dev
  libqt6opengl6-dev  # Qt Charts' CMake package needs Qt6OpenGL
  qt6-svg-dev
  # Root finding for the implied volatility
  libboost-math-dev
  # Qt's own Finnish texts for the standard dialogs
  qt6-translations-l10n
  # Spreading a batch over processes and hosts
  parallel
  # Reading kelvaro --batch output back with an independent JSON and CSV parser
  python3
  # The Python module (pybind11) and its tests: numpy, pandas, pytest, Dask
  pybind11-dev
  python3-dev
  python3-numpy
  python3-pandas
  python3-pytest
  python3-dask
  python3-distributed
  # Package: desktop entry, metainfo and package validators, man pages, icon PNGs
  desktop-file-utils
  appstream
  lintian
  man-db
  librsvg2-bin
  # Calculation documents (JSON) and their desktop file type
  nlohmann-json3-dev
  shared-mime-info
  libxml2-utils
)
# Callers may ask for more, e.g. the screenshot script's X tools.
PACKAGES+=("$@")

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "Missing packages (${missing[*]}) and no root rights: install them with apt-get." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
