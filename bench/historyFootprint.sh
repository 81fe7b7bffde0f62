#!/usr/bin/env bash
# The idle memory the usage history adds to the running program: its PSS and its anonymous
# (heap) memory once the first poll is done and the memory trimmed, with a new history against
# one of three years of polls every 30 minutes (52,000 samples), and the part that is SQLite's
# library, which the program loads only while it writes or reads the history. PSS moves with what
# other programs share of the libraries; the anonymous memory is the program's own.
# Usage: bench/historyFootprint.sh [build folder]   (needs vantle, vantlectl, vantle-sim and
# history_bench; runs under an X server and a tray of its own)
set -euo pipefail

build=$(cd "${1:-build/debug}" && pwd)
bin=$build/bin
for program in vantle vantlectl vantle-sim history_bench; do
    [[ -x $bin/$program ]] || { echo "missing $bin/$program" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

exec 3< <(Xvfb -displayfd 1 -screen 0 640x480x24 -nolisten tcp 2> "$work/xvfb.log")
pids+=($!)
read -r -t 10 number <&3 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$number QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
trayer --edge top --align right --widthtype pixel --width 120 --height 24 > /dev/null 2>&1 &
pids+=($!)

"$bin/vantle-sim" --port 0 > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^vantle-sim listening on ' "$work/sim.out" && break; sleep 0.05; done
endpoint=$(sed -n 's/^vantle-sim listening on //p' "$work/sim.out")
[[ -n $endpoint ]] || { echo "vantle-sim did not start" >&2; exit 1; }

# PSS and anonymous memory in kB of the process, and the PSS of its mappings of SQLite's library.
pss() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
anonymous() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
sqlitePss() {
    awk '/^[0-9a-f]+-[0-9a-f]+ / {inside = ($0 ~ /libsqlite3/)} inside && /^Pss:/ {sum += $2}
         END {print sum + 0}' "/proc/$1/smaps"
}

# One run of the program in a fresh profile; seeded: with three years of history.
run() {
    local profile=$work/$1 seeded=$2
    mkdir -p "$profile/config/vantle" "$profile/data/vantle" "$profile/runtime"
    chmod 700 "$profile/runtime"
    export XDG_CONFIG_HOME=$profile/config XDG_DATA_HOME=$profile/data XDG_RUNTIME_DIR=$profile/runtime
    printf '<conf><providers><iinet.net.au>%s</iinet.net.au></providers></conf>' \
        "${endpoint//&/&amp;}" > "$XDG_CONFIG_HOME/vantle/configuration.xml"
    printf 'demo\n' | "$bin/vantlectl" configure --username demo --domain iinet.net.au > /dev/null
    # The configuration's verification wrote the usage document: the program polls at start only
    # without a recent status document.
    rm -f "$XDG_DATA_HOME/vantle/status.json"
    [[ $seeded == yes ]] && "$bin/history_bench" --seed "$XDG_DATA_HOME/vantle/history.sqlite"
    "$bin/vantle" > "$profile/vantle.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    for _ in $(seq 300); do [[ -f $XDG_DATA_HOME/vantle/history.json ]] && break; sleep 0.1; done
    [[ -f $XDG_DATA_HOME/vantle/history.json ]] || { echo "no poll" >&2; cat "$profile/vantle.log" >&2; exit 1; }
    sleep 8 # the trim after the cycle comes 5 s later
    echo "$(pss "$pid") $(anonymous "$pid") $(sqlitePss "$pid")"
    "$bin/vantle" -quit > /dev/null 2>&1 || kill "$pid"
    wait "$pid" 2>/dev/null || true
}

read -r freshPss freshAnonymous freshSqlite < <(run fresh no)
read -r seededPss seededAnonymous seededSqlite < <(run seeded yes)
for kind in fresh seeded; do
    declare -n p=${kind}Pss a=${kind}Anonymous l=${kind}Sqlite
    [[ $kind == fresh ]] && what="a new history" || what="52,000 samples"
    echo "idle after the first poll with $what: PSS $p kB, anonymous $a kB, SQLite's library $l kB"
done
echo "added by the 52,000 samples: PSS $((seededPss - freshPss)) kB, anonymous" \
     "$((seededAnonymous - freshAnonymous)) kB (target under 1024 kB)"
