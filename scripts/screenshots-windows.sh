#!/usr/bin/env bash
# Takes the README's pictures of the Windows windows: builds the native simulator (default
# preset) and the Win32 build (mingw preset), then runs wine_screenshot_tour under a
# virtual X server in a throw-away Wine prefix that draws its own window frames. The tour
# reads the WiFi settings from zev1-sim on COM5 and asks for a picture of the progress
# window, the main window, the terminal window and the about box, which this script takes
# from the screen into docs/windows-*.png.
#   scripts/screenshots-windows.sh [output folder]      (default: docs)
set -u
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine64

# Inside the virtual X server: run the tour and take the pictures it asks for.
if [ "${1:-}" = --inside ]; then
  out=$2
  coproc TOUR { "$wine" build-mingw/bin/wine_screenshot_tour.exe; }
  while read -r word name x y w h <&"${TOUR[0]}"; do
    [ "$word" = shot ] || continue
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    echo "$out/$name.png"
    echo ok >&"${TOUR[1]}"
  done
  wait
  exit
fi

source scripts/deps.sh
zev1_install_deps || exit 1

out=$(realpath -m "${1:-docs}")
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset default >/dev/null && cmake --build build -j "$jobs" --target zev1-sim || exit 1
cmake --preset mingw >/dev/null && cmake --build build-mingw -j "$jobs" --target wine_screenshot_tour ||
  exit 1
mkdir -p "$out"

export WINEPREFIX=$PWD/build-mingw/screenshot-prefix
export WINEDEBUG=-all
cmake -DWINE=$wine -DPREFIX="$WINEPREFIX" -P tests/wine/make_prefix.cmake || exit 1
# Window frames drawn by Wine itself: Xvfb runs no window manager.
$wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w

xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside "$out"
