#!/usr/bin/env bash
# Installs the build into a temporary root and checks the installed tree: every file in its
# place, and the installed programs run from there.
# Usage: installTest.sh <cmake> <build folder>
set -euo pipefail

cmake=$1
build=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
usr=$root/usr
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$cmake" --install "$build" --prefix "$usr" >"$root/install.log" || {
    cat "$root/install.log" >&2
    exit 1
}

# The user's package leaves the developer's stand-in out; the stand-in's holds nothing else.
user=$root/user
"$cmake" --install "$build" --prefix "$user/usr" --component vantle >/dev/null
[[ -x $user/usr/bin/vantle && ! -e $user/usr/bin/vantle-sim ]] ||
    fail "the vantle component does not hold vantle alone of the two programs"
sim=$root/sim
"$cmake" --install "$build" --prefix "$sim/usr" --component sim >/dev/null
[[ $(cd "$sim" && find . -type f | sort) == $'./usr/bin/vantle-sim\n./usr/share/man/man1/vantle-sim.1' ]] ||
    fail "the sim component holds more than vantle-sim and its manual page"

for program in vantle vantlectl vantle-sim; do
    [[ -x $usr/bin/$program ]] || fail "bin/$program is not installed"
done
for page in vantle vantlectl vantle-sim; do
    [[ -f $usr/share/man/man1/$page.1 ]] || fail "share/man/man1/$page.1 is not installed"
done
# Where the program looks for it: ../lib/vantle beside its own folder.
[[ -f $usr/lib/vantle/vantle-pageview.so ]] || fail "lib/vantle/vantle-pageview.so is not installed"

desktop=$usr/share/applications/vantle.desktop
if [[ -f $desktop ]]; then
    desktop-file-validate "$desktop" || fail "vantle.desktop does not validate"
    grep -qx 'Exec=vantle' "$desktop" || fail "vantle.desktop does not start vantle"
else
    fail "share/applications/vantle.desktop is not installed"
fi

# The PNG's IHDR chunk holds the width and height as big-endian 32-bit numbers at bytes 16 to 23.
for size in 16 22 24 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/vantle.png
    if [[ ! -f $icon ]]; then
        fail "the ${size}x${size} icon is not installed"
        continue
    fi
    signature=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
    [[ $signature == 89504e470d0a1a0a ]] || fail "the ${size}x${size} icon is not a PNG"
    read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$icon")
    [[ $width == "$size" && $height == "$size" ]] ||
        fail "the ${size}x${size} icon is ${width}x${height}"
done

metainfo=$usr/share/metainfo/net.vantle.vantle.metainfo.xml
if [[ ! -f $metainfo ]]; then
    fail "share/metainfo/net.vantle.vantle.metainfo.xml is not installed"
elif command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >&2 || fail "the metainfo does not validate"
else
    grep -q '<launchable type="desktop-id">vantle.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not name vantle.desktop"
fi

# The installed programs, with every per-user folder inside the temporary root.
export HOME=$root/home XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data
export XDG_CACHE_HOME=$root/cache XDG_STATE_HOME=$root/state XDG_RUNTIME_DIR=$root/runtime
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cd "$root"
if "$usr/bin/vantle" -dumpversion "$root/version.txt"; then
    version=$(cat "$root/version.txt" 2>/dev/null || true)
    [[ $version =~ ^[0-9]{8}\.[0-9]{6}$ ]] || fail "vantle -dumpversion wrote '$version'"
else
    fail "the installed vantle -dumpversion failed"
fi
"$usr/bin/vantlectl" --help >"$root/help.txt" 2>&1 || fail "the installed vantlectl --help failed"
grep -q vantlectl "$root/help.txt" || fail "vantlectl --help printed no usage"
"$usr/bin/vantle-sim" --help >/dev/null 2>&1 || fail "the installed vantle-sim --help failed"
# --help and --version answer without a display and start nothing.
(unset DISPLAY WAYLAND_DISPLAY; QT_QPA_PLATFORM= "$usr/bin/vantle" --help) >"$root/vhelp.txt" 2>&1 ||
    fail "the installed vantle --help failed"
grep -q 'Usage: vantle' "$root/vhelp.txt" || fail "vantle --help printed no usage"
(unset DISPLAY WAYLAND_DISPLAY; QT_QPA_PLATFORM= "$usr/bin/vantle" --version) >"$root/vversion.txt" 2>&1 ||
    fail "the installed vantle --version failed"
grep -Eq '^vantle [0-9.]+ \(build [0-9]{8}\.[0-9]{6}\)$' "$root/vversion.txt" ||
    fail "vantle --version printed '$(cat "$root/vversion.txt")'"

[[ $failures -eq 0 ]] || exit 1
echo "installed tree checked"
