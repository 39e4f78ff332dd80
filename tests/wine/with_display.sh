#!/bin/bash
# Runs a command under a virtual X server of its own: Wine needs a display for windows.
# Xvfb chooses a free display number itself (-displayfd), so tests and other programs
# starting X servers at the same time never race for one.
#   with_display.sh COMMAND [ARGS...]
set -u
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
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $status
