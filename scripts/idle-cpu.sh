#!/usr/bin/env bash
# Measures what the configurator costs while it sits connected to an idle controller:
# starts zev1-sim on a virtual port, opens zev1-wifi-config under a virtual X server
# (Xvfb) with that port remembered, waits until the link is up and then counts the
# configurator's CPU time (all its threads, user and system) over N seconds.
#   scripts/idle-cpu.sh [seconds]        (default 30)
#   scripts/idle-cpu.sh --web [seconds]  the page in headless Chromium instead: the
#                                        browser's process tree connected, with every
#                                        tick run, and on a blank page
#   scripts/idle-cpu.sh --wine [seconds] the Win32 build (mingw preset) under Wine, in a
#                                        Wine prefix of its own, with the native zev1-sim
#                                        on COM5: the program's process and the prefix's
#                                        wineserver, which does its timers and port calls
# ZEV1_BUILD_DIR=<dir> uses an existing build folder instead of the default preset
# (ZEV1_WEB_BUILD_DIR=<dir> likewise for the wasm preset's, ZEV1_MINGW_BUILD_DIR=<dir>
# for the mingw preset's; ZEV1_WINE_EXE=<file> measures that zev1-wifi-config.exe).
# The last line is "idle cpu P %" (the share of one core).
set -u
# Runs inside the virtual X server: starts the configurator, waits for the first answered
# keep-alive, then reads its CPU time (utime + stime, clock ticks) before and after.
measure() {
  local work=$1 seconds=$2
  "$work/zev1-wifi-config" >"$work/config.log" 2>&1 &
  local pid=$! tck
  tck=$(getconf CLK_TCK)
  for _ in $(seq 100); do grep -q '"dir":"tx"' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
  if ! grep -q '"dir":"tx"' "$work/sim.log"; then
    echo "idle-cpu: the configurator did not connect" >&2
    kill "$pid"; wait "$pid" 2>/dev/null; return 1
  fi
  sleep 2 # the windows settle, the port list is built
  local frames0 t0 t1 start end
  frames0=$(grep -c '"dir":"rx"' "$work/sim.log")
  t0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  start=$(date +%s.%N)
  sleep "$seconds"
  t1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  end=$(date +%s.%N)
  local frames=$(($(grep -c '"dir":"rx"' "$work/sim.log") - frames0))
  kill "$pid"; wait "$pid" 2>/dev/null
  awk -v t="$((t1 - t0))" -v hz="$tck" -v s0="$start" -v s1="$end" -v f="$frames" 'BEGIN {
    wall = s1 - s0; cpu = t / hz
    printf "idle-cpu: %.1f s connected to zev1-sim (%d frames from the configurator), cpu %.2f s\n", wall, f, cpu
    printf "idle cpu %.2f %%\n", 100 * cpu / wall }'
}
# CPU time (utime + stime, clock ticks) of a process.
cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# Under Wine, inside the virtual X server: as measure, for the Win32 program and the
# wineserver of its prefix (the one whose working folder is the prefix's server folder).
measure_wine() {
  local work=$1 seconds=$2 wine=/usr/lib/wine/wine64 tck
  tck=$(getconf CLK_TCK)
  "$wine" "$work/zev1-wifi-config.exe" >"$work/config.log" 2>&1 &
  local pid=$!
  for _ in $(seq 300); do grep -q '"dir":"tx"' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
  if ! grep -q '"dir":"tx"' "$work/sim.log"; then
    echo "idle-cpu: the configurator did not connect" >&2
    kill "$pid"; wait "$pid" 2>/dev/null; return 1
  fi
  local server=
  # The wineserver started for this prefix: the one whose environment names it.
  for proc in /proc/[0-9]*; do
    case $(cat "$proc/comm" 2>/dev/null) in wineserver*) ;; *) continue ;; esac
    if tr '\0' '\n' <"$proc/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      server=${proc#/proc/}
    fi
  done
  [ -n "$server" ] || { echo "idle-cpu: no wineserver for $WINEPREFIX" >&2; kill "$pid"; return 1; }
  sleep 3 # the windows settle, the port list is built
  local frames0 p0 s0 p1 s1 start end
  frames0=$(grep -c '"dir":"rx"' "$work/sim.log")
  p0=$(cpu_of "$pid"); s0=$(cpu_of "$server")
  start=$(date +%s.%N)
  sleep "$seconds"
  p1=$(cpu_of "$pid"); s1=$(cpu_of "$server")
  end=$(date +%s.%N)
  local frames=$(($(grep -c '"dir":"rx"' "$work/sim.log") - frames0))
  kill "$pid"; wait "$pid" 2>/dev/null
  awk -v p="$((p1 - p0))" -v s="$((s1 - s0))" -v hz="$tck" -v t0="$start" -v t1="$end" -v f="$frames" 'BEGIN {
    wall = t1 - t0
    printf "idle-cpu: %.1f s connected to zev1-sim (%d frames from the configurator)\n", wall, f
    printf "idle-cpu: program %.2f s (%.2f %%), wineserver %.2f s (%.2f %%)\n", p / hz, 100 * p / hz / wall, s / hz, 100 * s / hz / wall
    printf "idle cpu %.2f %%\n", 100 * (p + s) / hz / wall }'
}
if [ "${1:-}" = --measure ]; then
  measure "$2" "$3"
  exit
fi
if [ "${1:-}" = --measure-wine ]; then
  measure_wine "$2" "$3"
  exit
fi
mode=desktop
if [ "${1:-}" = --web ] || [ "${1:-}" = --wine ]; then
  mode=${1#--}
  shift
fi

script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${ZEV1_BUILD_DIR:-}
if [ "$mode" = web ]; then
  # The page in headless Chromium beside a blank page (scripts/idle-cpu-web.mjs).
  web=${ZEV1_WEB_BUILD_DIR:-}
  if [ -z "$web" ]; then
    cmake --preset wasm >/dev/null || exit 1
    cmake --build build-wasm -j 2 --target zev1-wifi-config || exit 1
    web=build-wasm
  fi
  if [ -z "$build" ]; then
    cmake --preset default >/dev/null || exit 1
    cmake --build build -j 2 --target zev1-sim || exit 1
    build=build
  fi
  [ -d tests/web/node_modules ] || (cd tests/web && npm ci --no-audit --no-fund) || exit 1
  work=$(mktemp -d /tmp/zev1-idle-XXXXXX)
  "$build/bin/zev1-sim" --link "$work/ZEV1-SIM" >"$work/sim.log" 2>&1 </dev/null &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
  for _ in $(seq 100); do [ -e "$work/ZEV1-SIM" ] && break; sleep 0.05; done
  node scripts/idle-cpu-web.mjs --root "$web/web" --link "$work/ZEV1-SIM" --seconds "$seconds"
  exit
fi
if [ "$mode" = wine ]; then
  # The native simulator on the prefix's COM5, the program beside its settings file.
  if [ -z "$build" ]; then
    cmake --preset default >/dev/null || exit 1
    cmake --build build -j 2 --target zev1-sim || exit 1
    build=build
  fi
  exe=${ZEV1_WINE_EXE:-}
  if [ -z "$exe" ]; then
    mingw=${ZEV1_MINGW_BUILD_DIR:-}
    if [ -z "$mingw" ]; then
      cmake --preset mingw >/dev/null || exit 1
      cmake --build build-mingw -j 2 --target zev1-wifi-config || exit 1
      mingw=build-mingw
    fi
    exe=$mingw/bin/zev1-wifi-config.exe
  fi
  export WINEPREFIX=$PWD/build-mingw/idle-cpu-prefix WINEDEBUG=-all
  cmake -DWINE=/usr/lib/wine/wine64 -DPREFIX="$WINEPREFIX" -P tests/wine/make_prefix.cmake || exit 1
  work=$(mktemp -d /tmp/zev1-idle-XXXXXX)
  sim_pid=
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
  cp "$exe" "$work/zev1-wifi-config.exe"
  printf '[com]\r\ncom=COM5\r\nopen=1\r\n' >"$work/zev1-wifi-config.INI"
  link=$WINEPREFIX/dosdevices/com5
  rm -f "$link"
  "$build/bin/zev1-sim" --link "$link" >"$work/sim.log" 2>&1 </dev/null &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
  [ -e "$link" ] || { echo "idle-cpu: zev1-sim did not start" >&2; exit 1; }
  xvfb-run -a -s "-screen 0 1280x1024x24" "$script" --measure-wine "$work" "$seconds"
  exit
fi
if [ -z "$build" ]; then
  source scripts/deps.sh
  zev1_install_deps || exit 1
  build=build
  cmake --preset default >/dev/null || exit 1
  cmake --build "$build" -j 2 --target zev1-wifi-config zev1-sim || exit 1
fi
build=$(cd "$build" && pwd)

# A folder of its own: the program's copy, its settings file naming the simulator's
# port, and that port in ports/ beside it, so no settings of the build tree change.
work=$(mktemp -d /tmp/zev1-idle-XXXXXX)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports"
cp "$build/bin/zev1-wifi-config" "$work/"
printf '[com]\ncom=ZEV1-SIM\nopen=1\n' >"$work/zev1-wifi-config.INI"
"$build/bin/zev1-sim" --link "$work/ports/ZEV1-SIM" >"$work/sim.log" 2>&1 </dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -e "$work/ports/ZEV1-SIM" ] && break; sleep 0.05; done
[ -e "$work/ports/ZEV1-SIM" ] || { echo "idle-cpu: zev1-sim did not start" >&2; exit 1; }

xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$script" --measure "$work" "$seconds"
