#!/usr/bin/env bash
# Takes the README's screenshots: builds the configurator and the simulator (default
# preset, build/), runs zev1-screenshot-tour under a virtual X server (Xvfb), which
# connects to zev1-sim, reads the WiFi settings and saves images of the main window, the
# progress window, the terminal window and the about box into docs/.
#   scripts/screenshots.sh [output folder]      (default: docs)
# ZEV1_BUILD_DIR=<dir> uses an existing build folder instead of the default preset.
set -u
cd "$(dirname "$0")/.."
source scripts/deps.sh
zev1_install_deps || exit 1

out=${1:-docs}
jobs=$(nproc 2>/dev/null || echo 2)
build=${ZEV1_BUILD_DIR:-}
if [ -z "$build" ]; then
  build=build
  cmake --preset default >/dev/null || exit 1
fi
cmake --build "$build" -j "$jobs" --target zev1-screenshot-tour zev1-sim || exit 1

mkdir -p "$out"
# A plain 24-bit screen; the tour grabs each window's own contents.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb "$build/bin/zev1-screenshot-tour" "$build/bin/zev1-sim" "$out"
