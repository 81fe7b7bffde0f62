#!/usr/bin/env bash
# The memory footprint of the real program (sum of PSS over its process tree), against a bare Qt
# tray program running beside it as the floor, on an X server of its own with a tray (trayer)
# and a window manager, after the first poll against vantle-sim: status window never opened,
# open (its helper process reported apart), 60 s after closing it, and after 5 open/close
# cycles, and never opened with each measured alone; with the wake-ups of the idle program against the bare tray's, and what the idle
# program maps beyond the bare tray, by file.
# Usage: bench/footprint.sh [build folder] [seconds of each wake-up count]
#        (needs vantle, vantle-sim, vantlectl and bare_tray; build/release by default)
set -euo pipefail

build=$(cd "${1:-build/release}" && pwd)
seconds=${2:-60}
grace=60
for program in vantle vantle-sim vantlectl bare_tray; do
    [[ -x $build/bin/$program ]] || { echo "missing $build/bin/$program" >&2; exit 1; }
done
for tool in Xvfb trayer openbox xdotool xwd xwdtopnm pamdepth xwininfo; do
    command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
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
# The engine's sandbox cannot run as root.
[[ $(id -u) == 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1

exec 3< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 10 number <&3
export DISPLAY=:$number QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
openbox --sm-disable > /dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 100 --height 24 > /dev/null 2>&1 &
pids+=($!)

"$build/bin/vantle-sim" --port 0 --static > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^vantle-sim listening on ' "$work/sim.out" && break; sleep 0.05; done
endpoint=$(sed -n 's/^vantle-sim listening on //p' "$work/sim.out")
printf '<conf><providers><iinet.net.au>%s</iinet.net.au></providers></conf>' \
    "${endpoint//&/&amp;}" > "$XDG_CONFIG_HOME/vantle/configuration.xml"
printf 'demo\n' | "$build/bin/vantlectl" configure --username demo --domain iinet.net.au \
    > /dev/null 2>&1
rm -f "$XDG_DATA_HOME/vantle/status.json" # so the program polls at start

# The process and all its descendants.
tree() {
    local list=("$1") i=0 child
    while ((i < ${#list[@]})); do
        for child in $(cat /proc/"${list[i]}"/task/*/children 2>/dev/null); do
            list+=("$child")
        done
        i=$((i + 1))
    done
    echo "${list[@]}"
}

# Sum of PSS in kB over the given processes.
pss() {
    local total=0 pid value
    for pid in "$@"; do
        value=$(awk '/^Pss:/ {print $2}' /proc/"$pid"/smaps_rollup 2>/dev/null || echo 0)
        total=$((total + ${value:-0}))
    done
    echo "$total"
}

threads() {
    local total=0 pid
    for pid in "$@"; do total=$((total + $(ls /proc/"$pid"/task 2>/dev/null | wc -l))); done
    echo "$total"
}

# Context switches of every thread of the processes, voluntary and not.
switches() {
    local total=0 pid n
    for pid in "$@"; do
        n=$(cat /proc/"$pid"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {s += $2} END {print s + 0}')
        total=$((total + n))
    done
    echo "$total"
}

# PSS in kB by mapped file (anonymous memory as "[anon]"), one "kB name" line each.
byFile() {
    awk '/^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6 ? $6 : "[anon]"); sub(".*/", "", name) }
         /^Pss:/ { kb[name] += $2 }
         END { for (n in kb) print kb[n], n }' /proc/"$1"/smaps 2>/dev/null | sort -k2
}

mb() { awk -v k="$1" 'BEGIN { printf "%.1f MB", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The helper: the program's child started as the status window.
helper() {
    local child
    for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
        [[ $(tr '\0' ' ' < /proc/"$child"/cmdline 2>/dev/null) == *--status-window* ]] && echo "$child"
    done
    return 0
}

# Whether the screen shows the pies' fill colour.
pies() {
    local found
    found=$(xwd -root -silent 2>/dev/null | xwdtopnm 2>/dev/null | pamdepth 255 2>/dev/null |
        LC_ALL=C grep -c -a -F $'\xa6\xca\xf0')
    ((found > 0))
}

waitFor() {
    local i
    for i in $(seq 400); do "$@" && return 0; sleep 0.05; done
    echo "timed out: $*" >&2
    exit 1
}
noPies() { ! pies; }

# A left click on the program's icon in the tray.
click() {
    local at= try
    # A window that goes while the tree is read fails the reading: read it again.
    for try in 1 2 3 4 5; do
        at=$(xwininfo -root -tree 2>/dev/null | awk '/\("vantle" "vantle"\)/ && $0 ~ / 2[0-9]x2[0-9]\+/ {
            split($NF, p, "+"); if (!done) print p[2] + 10, p[3] + 10; done = 1 }' || true)
        [[ -n $at ]] && break
        sleep 0.2
    done
    [[ -n $at ]] || { echo "no icon in the tray" >&2; exit 1; }
    xdotool mousemove 0 300 mousemove --sync $at click 1
}

close() {
    local window
    window=$(xdotool search --onlyvisible --name '^vantle$' | awk 'NR == 1')
    xdotool windowfocus --sync "$window" key alt+F4
}

# The floor runs beside the program for the whole run and is measured at the same moments: PSS
# shares every page among the processes that map it, so whatever else runs on the machine moves
# both figures alike. It ends at the end of its input, so it gets one that stays open.
# Side by side, the two split the Qt pages they share, which flatters the floor and inflates
# the ratio; so each is also measured alone first, as a user's machine with nothing else on Qt
# would see it.
coproc ALONE { exec "$build/bin/bare_tray" 2>/dev/null; }
aloneBarePid=$ALONE_PID
read -r line <&"${ALONE[0]}"
sleep 8
aloneBare=$(pss "$aloneBarePid")
echo quit >&"${ALONE[1]}"
wait "$aloneBarePid" || true

"$build/bin/vantle" > "$work/vantle.log" 2>&1 &
program=$!
pids+=($program)
waitFor test -e "$XDG_DATA_HOME/vantle/status.json"
sleep 8 # the trim 5 s after the poll
aloneProgram=$(pss $(tree "$program"))

coproc BARE { exec "$build/bin/bare_tray" 2>/dev/null; }
bare=$BARE_PID
read -r line <&"${BARE[0]}"
sleep 8

# "label": PSS of the program's tree and of the floor, and the wake-ups of both over the
# counting time, as one row.
rows=()
measure() {
    local label=$1 programBefore bareBefore
    programBefore=$(switches $(tree "$program"))
    bareBefore=$(switches "$bare")
    sleep "$seconds"
    rows+=("$label|$(pss $(tree "$program"))|$(pss "$bare")|$(($(switches $(tree "$program")) - programBefore))|$(($(switches "$bare") - bareBefore))")
}

byFile "$program" > "$work/never.files"
byFile "$bare" > "$work/bare.files"
measure "status window never opened"

click
waitFor pies
sleep 5
status=$(helper "$program")
openTray=$(pss "$program")
openHelper=$(pss $(tree "$status"))
openBare=$(pss "$bare")
openProcesses=$(tree "$status" | wc -w)
openThreads=$(threads $(tree "$status"))
close
waitFor noPies
sleep $((grace + 5))
[[ -z $(helper "$program") ]] || echo "the helper still runs ${grace} s after closing" >&2
measure "${grace} s after closing the window"

for cycle in 1 2 3 4 5; do
    click
    waitFor pies
    sleep 1
    close
    waitFor noPies
    sleep 2
done
sleep $((grace + 5))
measure "after 5 open/close cycles, ${grace} s on"
"$build/bin/vantle" -quit
wait "$program" || true
echo quit >&"${BARE[1]}"
wait "$bare" || true

printf '%-40s %9s %9s %6s %7s  %s\n' "vantle" "PSS" "bare tray" "x bare" "+ MB" \
    "wake-ups in ${seconds}s (bare tray)"
for row in "${rows[@]}"; do
    IFS='|' read -r label kb floorKb wakes floorWakes <<< "$row"
    printf '%-40s %9s %9s %6s %7s  %s (%s)\n' "$label" "$(mb "$kb")" "$(mb "$floorKb")" \
        "$(ratio "$kb" "$floorKb")" "$(awk -v a="$kb" -v b="$floorKb" 'BEGIN { printf "%.1f", (a - b) / 1024 }')" \
        "$wakes" "$floorWakes"
done
printf '%-40s %9s %9s %6s %7s\n' "never opened, each measured alone" "$(mb "$aloneProgram")" \
    "$(mb "$aloneBare")" "$(ratio "$aloneProgram" "$aloneBare")" \
    "$(awk -v a="$aloneProgram" -v b="$aloneBare" 'BEGIN { printf "%.1f", (a - b) / 1024 }')"
printf '%-40s %9s %9s %6s\n' "status window open: tray process" "$(mb "$openTray")" \
    "$(mb "$openBare")" "$(ratio "$openTray" "$openBare")"
printf '%-40s %9s %9s %6s  (%s processes, %s threads)\n' "  its helper process tree" \
    "$(mb "$openHelper")" "" "$(ratio "$openHelper" "$openBare")" "$openProcesses" "$openThreads"

echo
echo "what the idle program maps beyond the bare tray, by file (PSS, at least 100 kB more):"
join -1 2 -2 2 -a 1 -e 0 -o 0,1.1,2.1 "$work/never.files" "$work/bare.files" |
    awk '$2 - $3 >= 100 { printf "%8.1f MB  %-40s (bare tray %.1f MB)\n", ($2 - $3) / 1024, $1, $3 / 1024 }' |
    sort -rn
