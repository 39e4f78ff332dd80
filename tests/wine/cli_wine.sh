#!/bin/bash
# zev1-wifi.exe under wine64 against the native zev1-sim, whose pseudo-terminal is
# Wine's COM5 (the link $WINEPREFIX/dosdevices/com5). Exercises the Windows I/O thread,
# the link and the sequencer together.
#   cli_wine.sh <zev1-sim> <wine64> <zev1-wifi.exe> read|write|auto
set -u
source "$(dirname "$0")/../support/sim.sh"
sim=$1
wine=$2
exe=$3
what=$4
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"

link="$WINEPREFIX/dosdevices/com5"
work=$(mktemp -d /tmp/zev1-cli-wine-XXXXXX)
cleanup() {
    stop_sim
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL ($what): $*" >&2
    echo "--- zev1-wifi stderr:" >&2
    cat "$work/err" >&2 2>/dev/null
    echo "--- zev1-sim (last lines):" >&2
    tail -n 5 "$work/sim.jsonl" >&2 2>/dev/null
    exit 1
}

# Paced at the real line speed for the automatic setting, unpaced for the others.
baud=0
[ "$what" = auto ] && baud=115200
[ -L "$link" ] && rm -f "$link"
start_sim "$work/sim.jsonl" "$sim" --link "$link" --baud "$baud" --ssid cellar-net \
    --key "s3cret pass" --security wpa2 --endpoint 10.1.2.3,4000 || fail "zev1-sim did not start"

# Runs zev1-wifi.exe, which must exit with status 0; its standard output (line ends made
# plain) lands in $work/out.
run() {
    "$wine" "$exe" --settings "Z:$work/zev1-wifi.INI" "$@" >"$work/raw" 2>"$work/err" ||
        fail "zev1-wifi $*: exit status $?"
    tr -d '\r' <"$work/raw" >"$work/out"
}
rx_lines() { grep -c "\"dir\":\"rx\",\"type\":$1," "$work/sim.jsonl"; }
hex_of() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n' | tr a-f A-F; }

case "$what" in
read)
    run read --port COM5 --json
    want='{"id":"ZEV1-SIM","ssid":"cellar-net","key":"s3cret pass","security":"WPA2","endpoint":"10.1.2.3,4000"}'
    [ "$(cat "$work/out")" = "$want" ] || fail "printed: $(cat "$work/out")"
    [ "$(rx_lines 5)" = 64 ] || fail "$(rx_lines 5) read requests, 64 expected"
    [ "$(rx_lines 100)" = 0 ] || fail "a settings frame was sent by a read"
    grep -q '^com=COM5' "$work/zev1-wifi.INI" || fail "COM5 not remembered"
    # The remembered port, without --port.
    run read
    grep -q '^ssid: cellar-net$' "$work/out" || fail "second read printed: $(cat "$work/out")"
    ;;
write)
    run write --port COM5 --ssid wine-net --security wpa --verify
    [ "$(rx_lines 100)" = 1 ] || fail "$(rx_lines 100) settings frames, 1 expected"
    [ "$(rx_lines 5)" = 128 ] || fail "$(rx_lines 5) read requests, 128 expected (read, read back)"
    # What it printed is what it sent, and --verify read the same back.
    printf 'id: ZEV1-SIM\nssid: wine-net\nkey: s3cret pass\nsecurity: WPA\nendpoint: 10.1.2.3,4000\n' \
        >"$work/want"
    cmp -s "$work/out" "$work/want" || fail "printed: $(cat "$work/out")"
    ;;
auto)
    run auto --port COM5
    [ "$(rx_lines 100)" = 1 ] || fail "$(rx_lines 100) settings frames, 1 expected"
    line=$(grep '"dir":"rx","type":100,' "$work/sim.jsonl")
    case "$line" in *'"len":279,'*) ;; *) fail "settings frame is not 279 bytes: $line" ;; esac
    hex=${line#*\"hex\":\"}
    hex=${hex%%\"*}
    # Body at frame byte 21: security @0, SSID @10, key @44, endpoint @109.
    endpoint=$(hex_of "zev1.example,5555")
    [ "${hex:42:10}" = "$(hex_of WPA2)00" ] || fail "security field: ${hex:42:20}"
    [ "${hex:62:22}" = "$(hex_of cellar-net)00" ] || fail "ssid field: ${hex:62:22}"
    [ "${hex:130:24}" = "$(hex_of 's3cret pass')00" ] || fail "key field: ${hex:130:24}"
    [ "${hex:260:$((${#endpoint} + 2))}" = "${endpoint}00" ] || fail "endpoint field: ${hex:260:64}"
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "ok ($what)"
