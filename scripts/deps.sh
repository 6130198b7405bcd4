#!/usr/bin/env bash
# Installs the Debian packages Geodot needs to build and test, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libbenchmark-dev libsimpleini-dev libjpeg62-turbo-dev zlib1g-dev libxxhash-dev
  libexpat1-dev libhowardhinnant-date-dev tzdata
  libimage-exiftool-perl exiv2 libjpeg-turbo-progs locales-all python3 fiu-utils
  clang libclang-rt-14-dev
  qt6-base-dev qt6-multimedia-dev qt6-webengine-dev libqt6opengl6-dev libjs-leaflet
  xvfb xauth fonts-noto-cjk fonts-dejavu-core qt6-translations-l10n
  desktop-file-utils appstream groff-base dpkg-dev
  lintian file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""; [[ $(id -u) -eq 0 ]] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
