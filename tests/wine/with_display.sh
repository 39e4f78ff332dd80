#!/bin/bash
# Runs a Wine program that opens windows under a virtual X server of its own, in a Wine
# prefix that only such programs use, one at a time. Xvfb chooses a free display number
# itself (-displayfd), so programs starting X servers at the same time never race for one.
# Wine's session (its server and the desktop process, which keeps the display it started
# with) ends before and after the run, so no run meets a session tied to a display that is
# gone.
#   with_display.sh WINESERVER COMMAND [ARGS...]
set -u
wineserver=$1
shift
"$wineserver" -k 2>/dev/null
fifo=$(mktemp -u /tmp/zev1-display-XXXXXX)
mkfifo "$fifo" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
display=
read -r -t 20 display <"$fifo"
rm -f "$fifo"
if [ -z "$display" ]; then
  echo "with_display.sh: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=:$display
"$@"
status=$?
"$wineserver" -k 2>/dev/null
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $status
