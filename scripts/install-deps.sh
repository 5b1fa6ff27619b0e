#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian packages ZuZidero needs to build, test and make its test discs.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git python3
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev time
  # clang with libFuzzer and the sanitizer runtimes for the fuzz targets
  clang libclang-rt-14-dev
  # the function-size check
  clang-tidy
  # engine libraries
  libsdl2-dev libavcodec-dev libavfilter-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libdvdread-dev libdvdnav-dev libsystemd-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  # the text reader of picture subtitles (Tesseract) and its language data
  libtesseract-dev tesseract-ocr-eng tesseract-ocr-deu tesseract-ocr-fra tesseract-ocr-spa tesseract-ocr-ita tesseract-ocr-nld tesseract-ocr-por
  # the desktop program (Qt 6 widgets, D-Bus for power-off) and its screenshots under Xvfb
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth
  # a window manager and X tools for the tests of focus, stacking and full screen
  openbox x11-utils xdotool
  # a private message bus for the tests of the desktop's disc service
  dbus-daemon dbus-session-bus-common
  # test discs and independent checks of our outputs
  ffmpeg dvdauthor lsdvd genisoimage mkvtoolnix
  # installing: the desktop entry's and AppStream file's validators, manual pages, the Debian package
  desktop-file-utils appstream help2man dpkg-dev fakeroot lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
