#!/usr/bin/env bash
# Installs the Debian packages that building and testing Marivue need.
# Does nothing when every package is already present.
set -euo pipefail

PACKAGES=(
  cmake
  g++
  make
  pkg-config
  libgtest-dev
  libjpeg62-turbo-dev
  libjpeg-turbo-progs
  binutils-mingw-w64-x86-64
  libncurses-dev
  libchafa-dev
  libglib2.0-dev
  tmux
  qt6-base-dev
  qt6-wayland
  fonts-dejavu-core
  clang
  libclang-rt-14-dev
  valgrind
)

missing=()
for p in "${PACKAGES[@]}"; do
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
