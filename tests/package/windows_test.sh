#!/bin/bash
# The Windows downloads as a user gets them, under wine64.
#   windows_test.sh zip <zip> <version> <wine64> <program>...
#       the zip holds the programs and README.txt (CR LF) in one folder; each program
#       has the version in its version resource and prints it with --version
#   windows_test.sh installer <setup.exe> <zev1-sim> <wine64> <program>...
#       installed silently into a scratch folder: programs, uninstaller, its registration
#       under HKCU and the Start-menu folder; the installed zev1-wifi.exe reads the native
#       zev1-sim on COM5 and keeps its settings next to itself; the uninstaller removes
#       the programs and leaves the settings file
set -u
source "$(dirname "$0")/../support/sim.sh"
mode=$1
package=$(realpath -m "$2")
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
work=$(mktemp -d "$(dirname "$WINEPREFIX")/package-test-XXXXXX")
cleanup() {
    stop_sim
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL ($mode): $*" >&2
    for f in "$work"/*.err; do
        [ -s "$f" ] && { echo "--- $(basename "$f"):" >&2; tail -n 20 "$f" >&2; }
    done
    exit 1
}
[ -f "$package" ] || fail "no package $package"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

case "$mode" in
zip)
    version=$3
    wine=$4
    shift 4
    (cd "$work" && cmake -E tar xf "$package") || fail "cannot unpack"
    top=$work/zev1-wifi-config-$version-win64
    [ -d "$top" ] || fail "no folder $(basename "$top") in the zip: $(ls "$work")"
    want=$(printf '%s\n' README.txt "${@/%/.exe}" | sort)
    [ "$(ls "$top" | sort)" = "$want" ] || fail "zip holds: $(ls "$top" | tr '\n' ' ')"
    lines=$(wc -l <"$top/README.txt")
    [ "$lines" -gt 10 ] && [ "$(grep -c $'\r$' "$top/README.txt")" = "$lines" ] ||
        fail "README.txt lines without CR LF"
    grep -q "^ZEV1 wifi configurator $version for Windows"$'\r$' "$top/README.txt" ||
        fail "README.txt without the version"
    for p in "$@"; do
        # The version text, and FILEVERSION major,minor,patch,commits after the
        # fixed-info signature 0xFEEF04BD (little-endian words).
        resource=$(wrestool -x --raw --type=16 "$top/$p.exe" | od -An -v -tx1 | tr -d ' \n')
        strings=$(wrestool -x --raw --type=16 "$top/$p.exe" | strings -el -n 3)
        grep -qx "$version" <<<"$strings" || fail "$p.exe: no version text $version in its resource"
        fixed=${resource#*bd04effe}
        [ "$fixed" != "$resource" ] || fail "$p.exe: no version resource"
        word() { printf '%d' "0x${fixed:$1+2:2}${fixed:$1:2}"; }
        numbers="$(word 12).$(word 8).$(word 20).$(word 16)"
        commits=0
        [[ $version =~ \+([0-9]+)\. ]] && commits=${BASH_REMATCH[1]}
        [ "$numbers" = "${version%%+*}.0.$commits" ] || fail "$p.exe: FILEVERSION $numbers"
    done
    for p in zev1-wifi zev1-sim; do
        out=$("$wine" "$top/$p.exe" --version 2>"$work/wine.err" | tr -d '\r')
        [ "$out" = "$p $version" ] || fail "$p.exe --version: $out"
    done
    ;;
installer)
    sim=$3
    wine=$4
    shift 4
    dir=$work/installed
    "$wine" "$package" /S "/D=$(windows_path "$dir")" 2>"$work/setup.err" ||
        fail "installer: exit status $?"
    for p in "$@" Uninstall; do
        [ -f "$dir/$p.exe" ] || fail "not installed: $p.exe"
    done
    [ -f "$dir/README.txt" ] || fail "not installed: README.txt"
    key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\zev1-wifi-config'
    "$wine" reg query "$key" 2>/dev/null | tr -d '\r' >"$work/key"
    grep -qF "$(windows_path "$dir")\\Uninstall.exe" "$work/key" || fail "no uninstaller registered"
    menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/ZEV1 wifi configurator"
    [ -f "$menu/README.lnk" ] && [ -f "$menu/Uninstall.lnk" ] || fail "no Start-menu entries"
    if [[ " $* " == *" zev1-wifi-config "* ]]; then
        [ -f "$menu/ZEV1 wifi configurator.lnk" ] || fail "no Start-menu entry for the configurator"
    fi

    # The installed zev1-wifi.exe on COM5, whose other end is the native simulator.
    link="$WINEPREFIX/dosdevices/com5"
    [ -L "$link" ] && rm -f "$link"
    start_sim "$work/sim.jsonl" "$sim" --link "$link" --ssid cellar-net --key "s3cret pass" \
        --security wpa2 --endpoint 10.1.2.3,4000 || fail "zev1-sim did not start"
    wifi() { "$wine" "$dir/zev1-wifi.exe" "$@" 2>"$work/wifi.err" | tr -d '\r'; }
    out=$(wifi read --port COM5 --json)
    [ "$out" = '{"id":"ZEV1-SIM","ssid":"cellar-net","key":"s3cret pass","security":"WPA2","endpoint":"10.1.2.3,4000"}' ] ||
        fail "read printed: $out"
    grep -q '^com=COM5' "$dir/zev1-wifi.INI" || fail "no settings file next to the program"
    wifi read | grep -qx 'ssid: cellar-net' || fail "the second start did not find COM5 again"
    stop_sim

    # In place (_?=), so it runs to its end before returning.
    "$wine" "$dir/Uninstall.exe" /S "_?=$(windows_path "$dir")" 2>"$work/uninstall.err" ||
        fail "uninstaller: exit status $?"
    for p in "$@"; do
        [ ! -e "$dir/$p.exe" ] || fail "left after uninstalling: $p.exe"
    done
    [ -f "$dir/zev1-wifi.INI" ] || fail "the uninstaller removed the settings file"
    ! "$wine" reg query "$key" >/dev/null 2>&1 || fail "still registered after uninstalling"
    [ ! -e "$menu" ] || fail "Start-menu folder left"
    ;;
*)
    fail "unknown mode"
    ;;
esac
echo "ok ($mode)"
