#!/usr/bin/env bash
# How often the program wakes up while it idles in the notification area: the context switches
# of all its threads over a minute, against a bare Qt tray program measured the same way.
# Usage: bench/idleWakeups.sh [build folder] [seconds]   (needs vantle, vantle-sim, bare_tray)
set -euo pipefail

build=$(cd "${1:-build/debug}" && pwd)
seconds=${2:-60}
settle=10
for program in vantle vantle-sim bare_tray; do
    [[ -x $build/bin/$program ]] || { echo "missing $build/bin/$program" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_CONFIG_HOME/vantle" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# An X server and a tray of their own, so both programs show a real icon.
exec 3< <(Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 10 number <&3
export DISPLAY=:$number QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
trayer --edge top --align right --widthtype pixel --width 120 --height 24 > /dev/null 2>&1 &
pids+=($!)

# The program polls the stand-in once at start, then idles with its window closed.
"$build/bin/vantle-sim" --port 0 > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^vantle-sim listening on ' "$work/sim.out" && break; sleep 0.05; done
endpoint=$(sed -n 's/^vantle-sim listening on //p' "$work/sim.out")
printf '<conf><providers><iinet.net.au>%s</iinet.net.au></providers></conf>' \
    "${endpoint//&/&amp;}" > "$XDG_CONFIG_HOME/vantle/configuration.xml"
printf 'demo\n' | "$build/bin/vantlectl" configure --username demo --domain iinet.net.au \
    > /dev/null 2>&1

# Context switches of every thread of a process, voluntary and not.
switches() {
    local total=0 n
    for status in /proc/"$1"/task/*/status; do
        n=$(awk '/ctxt_switches/ {s += $2} END {print s + 0}' "$status" 2>/dev/null || echo 0)
        total=$((total + n))
    done
    echo "$total"
}

measure() {
    local pid=$1
    sleep "$settle"
    local before after
    before=$(switches "$pid")
    sleep "$seconds"
    after=$(switches "$pid")
    echo $((after - before))
}

# It ends at the end of its input: give it one that stays open.
"$build/bin/bare_tray" < <(sleep $((settle + seconds + 30))) > /dev/null 2>&1 &
bare=$!
pids+=($bare)
floor=$(measure "$bare")
kill "$bare"

"$build/bin/vantle" > "$work/vantle.log" 2>&1 &
program=$!
pids+=($program)
idle=$(measure "$program")

echo "bare tray program: $floor wake-ups in ${seconds}s"
echo "vantle, window closed: $idle wake-ups in ${seconds}s"
awk -v a="$idle" -v b="$floor" 'BEGIN { printf "ratio vantle / bare: %.2f (target at most 1)\n", (b > 0 ? a / b : a) }'
