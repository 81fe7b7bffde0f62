#!/usr/bin/env bash
# The program on Wayland: a headless sway (whose bar is a StatusNotifierItem host) on a session
# bus of its own, with vantle on Qt's Wayland plugin against vantle-sim. The item registers with
# the bar, Activate opens the status window, ContextMenu opens no window at all (a menu placed
# at a screen point would come up as a stray top-level window), and -quit ends the program.
# sway refuses to run as root: as root the session runs as the unprivileged user nobody.
# Usage: waylandTest.sh <bin folder> <artefacts folder>; exit status 77 when it cannot run here.
set -euo pipefail

if [[ $1 != --inner ]]; then
    bin=$(cd "$1" && pwd)
    artefacts=$2
    for tool in sway grim swaymsg dbus-run-session gdbus; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
    [[ -e /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ]] ||
        { echo "SKIP: Qt's Wayland plugin (qt6-wayland) is not installed"; exit 77; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    as=()
    if [[ $(id -u) -eq 0 ]]; then
        command -v runuser >/dev/null || { echo "SKIP: runuser is needed to leave root"; exit 77; }
        chown nobody:nogroup "$work"
        as=(runuser -u nobody --)
        "${as[@]}" test -x "$bin/vantle" ||
            { echo "SKIP: nobody cannot reach $bin (a build in a private folder)"; exit 77; }
    fi
    status=0
    "${as[@]}" dbus-run-session -- "$0" --inner "$bin" "$work" || status=$?
    mkdir -p "$artefacts"
    cp "$work"/wayland-*.png "$artefacts"/ 2>/dev/null || true
    [[ $status -eq 0 ]] || tail -n 20 "$work"/*.log >&2 2>/dev/null || true
    exit $status
fi

# --- inside the session, as an unprivileged user ---
bin=$2
work=$3
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
waitFor() { # seconds, command...
    local limit=$(($1 * 10))
    shift
    for _ in $(seq "$limit"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config \
    XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/vantle" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

"$bin/vantle-sim" --port 0 --static --log "$work/sim.log" >"$work/sim.out" 2>&1 &
pids+=($!)
waitFor 10 grep -q '^vantle-sim listening on ' "$work/sim.out" || fail "vantle-sim did not start"
endpoint=$(sed -n 's/^vantle-sim listening on //p' "$work/sim.out")
printf '<conf><providers><iinet.net.au>%s</iinet.net.au></providers></conf>' \
    "${endpoint//&/&amp;}" >"$XDG_CONFIG_HOME/vantle/configuration.xml"
printf 'demo\n' | "$bin/vantlectl" configure --username demo --domain iinet.net.au >/dev/null

printf 'output HEADLESS-1 resolution 800x600\nbar {\n    position top\n    tray_output *\n}\n' \
    >"$work/sway.conf"
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
waitFor 20 compgen -G "$XDG_RUNTIME_DIR/wayland-*" || fail "sway did not start"
export WAYLAND_DISPLAY=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-[0-9]" | head -1)")
export SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -1)
watcherHasItem() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher \
        --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Properties.Get \
        org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems | grep -q StatusNotifierItem-
}
waitFor 20 gdbus call --session --dest org.kde.StatusNotifierWatcher \
    --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Peer.Ping ||
    fail "the bar's tray took no StatusNotifierWatcher name"

QT_QPA_PLATFORM=wayland QTWEBENGINE_DISABLE_SANDBOX=1 "$bin/vantle" >"$work/vantle.log" 2>&1 &
vantle=$!
pids+=($vantle)
waitFor 20 watcherHasItem || fail "the item did not register with the bar"
waitFor 20 test -f "$XDG_DATA_HOME/vantle/status.json" || fail "no poll"
sleep 1
grim "$work/wayland-tray.png"

item=$(gdbus call --session --dest org.freedesktop.DBus --object-path / \
    --method org.freedesktop.DBus.ListNames | grep -o 'org.kde.StatusNotifierItem-[0-9-]*' | head -1)
windows() { swaymsg -t get_tree | grep -c '"app_id": "vantle"' || true; }
[[ $(windows) -eq 0 ]] || fail "a window is open before any was asked for"
gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.ContextMenu 10 10 >/dev/null
sleep 2
[[ $(windows) -eq 0 ]] || fail "ContextMenu opened a window"
gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.Activate 10 10 >/dev/null
oneWindow() { [[ $(windows) -eq 1 ]]; }
waitFor 20 oneWindow || fail "Activate did not open the status window"
swaymsg -t get_tree | grep -q '"name": "vantle"' || fail "the status window is not named vantle"
sleep 2
grim "$work/wayland-status.png"

"$bin/vantle" -quit
waitFor 20 bash -c "! kill -0 $vantle 2>/dev/null" || fail "-quit did not end the program"
echo "PASS"
