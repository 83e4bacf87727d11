#!/usr/bin/env bash
# Usage: scripts/install-deps.sh
# Installs the Debian 12 packages that building, testing, fuzzing, benchmarking and packaging need
# (apt-get update first; through sudo unless run as root). Safe to run again: apt-get skips what
# is already there.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac

packages=(
  # build
  build-essential cmake pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32
  binutils-mingw-w64-x86-64 lld
  libfltk1.3-dev libx11-dev libxtst-dev libsystemd-dev
  # PipeWire's headers, for the pointer in GNOME's screen cast (the library is loaded at run time)
  libpipewire-0.3-dev
  # the Wayland client's headers and protocol glue (the library itself is loaded at run time)
  libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
  # what the static FLTK calls, linked as shared libraries
  libxft-dev libxrender-dev libxfixes-dev libxcursor-dev libxinerama-dev libxext-dev libfontconfig-dev
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  # run and test on a private X server, natively and under Wine
  xvfb xauth xdotool openbox fluxbox icewm x11-utils x11-xserver-utils imagemagick wine wine64 fonts-wine
  # a private session bus with a stand-in for the desktop's idle monitor (Wayland sessions)
  dbus-daemon python3-dbusmock
  # a headless Wayland compositor with Xwayland, and a native window that prints its pointer events
  sway xwayland wev
  # release archives, and the check of the Linux menu entries
  zip unzip file desktop-file-utils
)

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
