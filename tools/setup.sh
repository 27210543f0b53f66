#!/usr/bin/env bash
# Installs the Debian packages that building and testing Marivue need.
# Does nothing when every package is already present.
#
#   bash tools/setup.sh          everything: building, running and testing
#   bash tools/setup.sh --run    only what building and running the viewer needs
set -euo pipefail

case "${1:-}" in
  "") with_tests=1 ;;
  --run) with_tests=0 ;;
  *) echo "usage: bash tools/setup.sh [--run]" >&2; exit 2 ;;
esac

# Building and running the viewer: the compiler, the resource compiler for
# the embedded pictures, the terminal front end's libraries, the window
# front end's Qt with its Wayland plugin and a font, libpng for
# jpeg-decode's PNG output, and Little CMS for the album's conversion of
# pictures with a colour profile.
RUN_PACKAGES=(
  cmake
  g++
  make
  pkg-config
  binutils-mingw-w64-x86-64
  libncurses-dev
  libchafa-dev
  libglib2.0-dev
  qt6-base-dev
  qt6-wayland
  fonts-dejavu-core
  libpng-dev
  liblcms2-dev
)

# Testing: the test framework, the reference decoder and encoder the tests
# compare with (also make-pictures and the benchmark need it), tmux for
# driving the terminal front end, an X server with a window manager and
# xdotool (and xprop) for driving the window, the validators of the desktop
# entry and the AppStream metainfo, clang with its fuzzing and sanitizer
# runtime, Valgrind, and clang-format; xterm with xwd for the terminal's
# pixel pictures, and netpbm for tools/screenshots.sh; abigail-tools, whose
# abidiff checks that the shared library's ABI is the interface's alone;
# icc-profiles-free's colour profiles and libgs-common's CMYK one, which
# the tests embed in pictures, and liblcms2-utils, whose jpgicc converts
# them for comparison.
TEST_PACKAGES=(
  libgtest-dev
  libjpeg62-turbo-dev
  libjpeg-turbo-progs
  tmux
  xvfb
  openbox
  xdotool
  x11-utils
  desktop-file-utils
  appstream
  clang
  libclang-rt-14-dev
  valgrind
  clang-format
  xterm
  x11-apps
  netpbm
  abigail-tools
  icc-profiles-free
  libgs-common
  liblcms2-utils
)

packages=("${RUN_PACKAGES[@]}")
[ $with_tests = 1 ] && packages+=("${TEST_PACKAGES[@]}")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
