#!/usr/bin/env bash
# Installs what building, running and testing Velarn needs on Debian 12. Safe to run again.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libsdl2-dev libespeak-ng-dev espeak-ng-data libsoxr-dev libpulse-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev
  xvfb xauth x11-utils x11-apps xclip xdotool pulseaudio pulseaudio-utils fonts-wqy-microhei libxcb1-dev
  desktop-file-utils dpkg-dev file
  iproute2 procps util-linux
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
