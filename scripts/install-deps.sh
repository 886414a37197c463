#!/usr/bin/env bash
# Installs the Debian packages the project needs, skipping those already there.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  zlib1g-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core
  python3 python3-pil imagemagick libjpeg-turbo-progs
  locales
  # Independent readers and writers the codec tests compare against, and the
  # benchmark-only comparator libraries.
  pngcheck libtiff-tools giflib-tools libpng-dev libtiff-dev libgif-dev
  # The sanitizer build and the fuzz targets: clang with libFuzzer and the
  # sanitizer runtimes.
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A UTF-8 locale whose collation differs from byte order, so the tests can show
# that sorting never follows the process locale.
if ! locale -a 2>/dev/null | grep -qix 'en_US.utf8'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -i en_US -f UTF-8 en_US.UTF-8
fi
