#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Sorvane need,
# and does nothing when every one of them is already present. With --fuzz it also installs
# what the fuzz targets need (clang and its sanitizer and libFuzzer runtimes).
set -euo pipefail

packages=(
    cmake g++ make clang-format pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-qpa-plugins qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    libsdl2-dev libpulse-dev pulseaudio pulseaudio-utils libsndfile1-dev libflac-dev
    libfluidsynth-dev timgm6mb-soundfont
    libmpg123-dev libcdio-dev libsoxr-dev libmp3lame-dev mpg123
    libavformat-dev libavcodec-dev libswresample-dev libtag1-dev ffmpeg
    libx11-dev fonts-ipafont-gothic xvfb qt6-wayland weston
    dbus dbus-daemon desktop-file-utils appstream
)
if [ "${1:-}" = --fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
