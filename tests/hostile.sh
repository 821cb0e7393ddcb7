#!/usr/bin/env bash
# ./test.sh --hostile: the plain ./test.sh run on a machine that is not the developer's quiet
# one, to show that no test leans on what a machine happens to have or on having it to itself:
# - the system's default SoundFont (/usr/share/sounds/sf2/default-GM.sf2) is the full General
#   MIDI one, FluidR3_GM.sf2 (148 MB, Debian's fluid-soundfont-gm). When the machine's default
#   is another, the run sees FluidR3 there through a private mount namespace (the machine's
#   own files and settings are left alone); when the package is not installed, its file is
#   unpacked into build-hostile/;
# - one of the cores is kept busy by another process for the whole run;
# - the locale is one the developer does not use: ja_JP.UTF-8, or en_US.UTF-8 for a developer
#   whose locale is Japanese (compiled into build-hostile/ when the system lacks it);
# - a session bus runs, named in DBUS_SESSION_BUS_ADDRESS.
# Prints the wall time; exits with the status of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scratch=$root/build-hostile
sf2=/usr/share/sounds/sf2

if [ "${SORVANE_HOSTILE_INSIDE:-}" = 1 ]; then
    # Inside the private mount namespace: default-GM.sf2 names FluidR3, every other
    # SoundFont of the folder stays where it was.
    mkdir -p "$scratch/sf2-real" "$scratch/sf2"
    mount --bind "$sf2" "$scratch/sf2-real"
    rm -f "$scratch"/sf2/*
    for f in "$scratch"/sf2-real/*; do
        name=$(basename "$f")
        [ "$name" = default-GM.sf2 ] || ln -s "$scratch/sf2-real/$name" "$scratch/sf2/$name"
    done
    ln -sf "$SORVANE_HOSTILE_FONT" "$scratch/sf2/default-GM.sf2"
    mount --bind "$scratch/sf2" "$sf2"
    unset SORVANE_HOSTILE_INSIDE
    exec ./test.sh
fi

./install-deps.sh
mkdir -p "$scratch"

font=$sf2/FluidR3_GM.sf2
if [ ! -f "$font" ]; then
    font=$scratch/fluid/usr/share/sounds/sf2/FluidR3_GM.sf2
    if [ ! -f "$font" ]; then
        (cd "$scratch" && apt-get download fluid-soundfont-gm)
        dpkg-deb -x "$scratch"/fluid-soundfont-gm_*.deb "$scratch/fluid"
        rm -f "$scratch"/fluid-soundfont-gm_*.deb
    fi
fi

current=${LC_ALL:-${LC_MESSAGES:-${LANG:-}}}
case "$current" in
ja*) locale=en_US.UTF-8 source=en_US ;;
*) locale=ja_JP.UTF-8 source=ja_JP ;;
esac
if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
    mkdir -p "$scratch/locale"
    [ -d "$scratch/locale/$locale" ] || localedef -i "$source" -f UTF-8 "$scratch/locale/$locale" || true
    export LOCPATH=$scratch/locale
fi
unset LC_ALL LC_MESSAGES LANGUAGE SORVANE_LANG SORVANE_SOUNDFONT
export LANG=$locale

busy=
bus=
cleanup() {
    [ -n "$busy" ] && kill "$busy" 2>/dev/null
    [ -n "$bus" ] && kill "$bus" 2>/dev/null
    return 0
}
trap cleanup EXIT
bash -c 'while :; do :; done' &
busy=$!
read -r address bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d ' ')
export DBUS_SESSION_BUS_ADDRESS=$address

echo "hostile run: default SoundFont $font, locale $LANG, one core busy (pid $busy), bus $address"
start=$(date +%s)
status=0
if [ "$(readlink -f "$sf2/default-GM.sf2")" = "$(readlink -f "$font")" ]; then
    ./test.sh || status=$?
else
    namespace=(unshare --mount --propagation private)
    [ "$(id -u)" -eq 0 ] || namespace+=(--map-root-user)
    SORVANE_HOSTILE_INSIDE=1 SORVANE_HOSTILE_FONT=$font "${namespace[@]}" "$0" || status=$?
fi
echo "hostile run: exit status $status after $(($(date +%s) - start)) s"
exit "$status"
