#!/bin/bash
# The .deb as a user gets it.
#   deb_test.sh check <deb> <version>   contents, desktop entry, lintian, versions
#   deb_test.sh run <deb>               zev1-wifi from the unpacked, read-only /usr/bin,
#                                       as an ordinary user, against the unpacked zev1-sim
set -u
source "$(dirname "$0")/../support/sim.sh"
mode=$1
deb=$2
work=$(mktemp -d /tmp/zev1-deb-XXXXXX)
cleanup() {
    stop_sim
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL ($mode): $*" >&2
    grep -v "\"dir\"" "$work/sim.jsonl" 2>/dev/null | tail -n 5 >&2
    for f in "$work"/*.err; do
        [ -s "$f" ] && { echo "--- $(basename "$f"):" >&2; cat "$f" >&2; }
    done
    exit 1
}

[ -f "$deb" ] || fail "no package $deb"
chmod 755 "$work"
root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
bin=$root/usr/bin
doc=$root/usr/share/doc/zev1-wifi-config

case "$mode" in
check)
    version=$3
    [ "$(basename "$deb")" = "zev1-wifi-config_${version}_$(dpkg --print-architecture).deb" ] ||
        fail "file name $(basename "$deb")"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
    for f in usr/bin/zev1-wifi-config usr/bin/zev1-wifi usr/bin/zev1-sim \
        usr/share/applications/zev1-wifi-config.desktop \
        usr/share/icons/hicolor/scalable/apps/zev1-wifi-config.svg \
        usr/share/icons/hicolor/48x48/apps/zev1-wifi-config.png \
        usr/share/man/man1/zev1-wifi.1.gz usr/share/man/man1/zev1-sim.1.gz \
        usr/share/man/man1/zev1-wifi-config.1.gz \
        usr/share/doc/zev1-wifi-config/copyright usr/share/doc/zev1-wifi-config/changelog.gz \
        usr/share/doc/zev1-wifi-config/README.md \
        usr/share/doc/zev1-wifi-config/docs/main-window.png; do
        [ -f "$root/$f" ] || fail "missing /$f"
    done
    desktop-file-validate "$root/usr/share/applications/zev1-wifi-config.desktop" ||
        fail "desktop entry not valid"
    # The page says what --help says, without the build tree's path.
    page=$(gzip -dc "$root/usr/share/man/man1/zev1-wifi.1.gz")
    grep -q 'names the file in use' <<<"$page" || fail "man page: no settings file line"
    ! grep -q 'In use:' <<<"$page" || fail "man page names a path in use"
    grep -q "$version" <<<"$page" || fail "man page without the version"
    for p in zev1-wifi zev1-sim; do
        [ "$("$bin/$p" --version)" = "$p $version" ] || fail "$p --version: $("$bin/$p" --version)"
    done
    # Errors and warnings fail; what stays at info level is explained in the README.
    lintian --fail-on error,warning "$deb" >"$work/lintian.err" 2>&1 ||
        fail "lintian: $(grep -v 'root privileges' "$work/lintian.err")"
    ;;
run)
    # The program folder is read-only, the user an ordinary one: nobody when run as root.
    chmod -R a-w "$root/usr"
    home=$work/home
    mkdir "$home"
    as_user=()
    if [ "$(id -u)" = 0 ]; then
        chown nobody "$home"
        as_user=(setpriv --reuid=nobody --regid="$(id -gn nobody)" --clear-groups --)
    fi
    user_env=(env -u XDG_CONFIG_HOME HOME="$home")
    link=$home/ZEV1-SIM
    start_sim "$work/sim.jsonl" "${as_user[@]}" "${user_env[@]}" "$bin/zev1-sim" --link "$link" \
        --ssid cellar-net --key "s3cret pass" --security wpa2 --endpoint 10.1.2.3,4000 ||
        fail "zev1-sim did not start"
    wifi() { "${as_user[@]}" "${user_env[@]}" "$bin/zev1-wifi" "$@" 2>"$work/wifi.err"; }

    settings=$home/.config/zev1/zev1-wifi.INI
    out=$(wifi read --port "$link" --json) || fail "read: exit status $?"
    [ "$out" = '{"id":"ZEV1-SIM","ssid":"cellar-net","key":"s3cret pass","security":"WPA2","endpoint":"10.1.2.3,4000"}' ] ||
        fail "read printed $out"
    [ -f "$settings" ] || fail "no settings file in the user's folder"
    [ ! -e "$bin/zev1-wifi.INI" ] || fail "a settings file next to the program"
    grep -qx "com=$link" "$settings" || fail "port not remembered: $(cat "$settings")"
    wifi --help | grep -qxF "In use: $settings" || fail "--help does not name $settings"
    # The second start finds the port in the file the first one wrote.
    out=$(wifi write --ssid second-net --verify) || fail "write: exit status $?"
    grep -qx 'ssid: second-net' <<<"$out" || fail "write printed $out"
    grep -qx "com=$link" "$settings" || fail "settings lost: $(cat "$settings")"
    ;;
*)
    fail "unknown mode"
    ;;
esac
echo "ok ($mode)"
