#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when some are missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build clang libclang-rt-dev pkg-config libgtest-dev libbenchmark-dev libsdl2-dev
  libpng-dev zlib1g-dev libjpeg-dev libogg-dev libvorbis-dev libmpg123-dev libavformat-dev libavcodec-dev
  libswscale-dev libswresample-dev libfreetype-dev libfontconfig-dev libssl-dev libpixman-1-dev libbz2-dev
  fonts-ipafont-gothic fonts-ipafont-mincho libsqlite3-dev libx11-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
