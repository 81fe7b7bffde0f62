#!/usr/bin/env bash
# The memory footprint (sum of PSS over the process tree, the browser engine's helper processes
# included) of a status window never opened, opened, and closed again, each against a bare Qt
# tray program as the floor.
# Usage: bench/footprint.sh [build folder]   (needs the targets bare_tray and status_footprint)
set -euo pipefail

build=${1:-build/debug}
bare=$build/bin/bare_tray
status=$build/bin/status_footprint
for program in "$bare" "$status"; do
    [[ -x $program ]] || { echo "missing $program: build bare_tray and status_footprint" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=
cleanup() {
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS
# The engine's sandbox cannot run as root; nothing may reach the network.
[[ $(id -u) == 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-background-networking --disable-component-update"

if command -v Xvfb >/dev/null; then
    for n in $(seq 90 120); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb=$!
        export DISPLAY=:$n QT_QPA_PLATFORM=xcb
        sleep 1
        break
    done
fi
[[ -n $xvfb ]] || export QT_QPA_PLATFORM=offscreen
echo "platform: $QT_QPA_PLATFORM${DISPLAY:+ on $DISPLAY}"

# The process and all its descendants.
tree() {
    local pids=("$1") i=0 child
    while ((i < ${#pids[@]})); do
        for child in $(cat /proc/"${pids[i]}"/task/*/children 2>/dev/null); do
            pids+=("$child")
        done
        i=$((i + 1))
    done
    echo "${pids[@]}"
}

# Sum of PSS in kB over the tree.
pss() {
    local total=0 pid value
    for pid in $(tree "$1"); do
        value=$(awk '/^Pss:/ {print $2}' /proc/"$pid"/smaps_rollup 2>/dev/null || echo 0)
        total=$((total + ${value:-0}))
    done
    echo "$total"
}

mb() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Waits for the program's next "ready" line.
await() {
    local line
    while read -r line <&"${1}"; do
        [[ $line == ready ]] && return 0
    done
    echo "the program ended early" >&2
    exit 1
}

coproc BARE { "$bare" 2>/dev/null; }
await "${BARE[0]}"
sleep 2
floor=$(pss "$BARE_PID")
echo quit >&"${BARE[1]}"
wait "$BARE_PID" || true

coproc STATUS { "$status" 2>/dev/null; }
await "${STATUS[0]}"
sleep 2
never=$(pss "$STATUS_PID")
echo show >&"${STATUS[1]}"
await "${STATUS[0]}"
opened=$(pss "$STATUS_PID")
processesOpen=$(tree "$STATUS_PID" | wc -w)
echo hide >&"${STATUS[1]}"
await "${STATUS[0]}"
closed=$(pss "$STATUS_PID")
processesClosed=$(tree "$STATUS_PID" | wc -w)
echo show >&"${STATUS[1]}"
await "${STATUS[0]}"
reopened=$(pss "$STATUS_PID")
echo quit >&"${STATUS[1]}"
wait "$STATUS_PID" || true

printf '%-34s %10s  %s\n' "bare Qt tray program (floor)" "$(mb "$floor")" "1.00"
printf '%-34s %10s  %s\n' "status window never opened" "$(mb "$never")" "$(ratio "$never" "$floor")"
printf '%-34s %10s  %s  (%s processes)\n' "status window open" "$(mb "$opened")" \
    "$(ratio "$opened" "$floor")" "$processesOpen"
printf '%-34s %10s  %s  (%s processes)\n' "status window closed again" "$(mb "$closed")" \
    "$(ratio "$closed" "$floor")" "$processesClosed"
printf '%-34s %10s  %s\n' "status window opened again" "$(mb "$reopened")" \
    "$(ratio "$reopened" "$floor")"
