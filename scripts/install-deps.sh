#!/usr/bin/env bash
# Installs every Debian package that building, running and testing dadadazo needs. Safe to run
# again: packages already present are left alone. Needs root (or sudo).
set -euo pipefail

packages=(
  # building the show and its tools
  g++ cmake ninja-build pkg-config libsdl2-dev libgl-dev libopengl-dev libegl-dev libx11-dev libasound2-dev libpng-dev
  # Mesa's software renderer for windows and offscreen frames without a GPU
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  # tests, benchmarks and formatting
  googletest libgtest-dev libbenchmark-dev clang-format
  # the windowed program under a virtual X server
  xvfb xauth xdotool x11-utils
  # video capture
  ffmpeg
  # the Windows program: cross-compiler and a runner for its smoke test
  g++-mingw-w64-x86-64 wine wine64
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
# With recommended packages: wine's X11 and OpenGL support comes from libraries it only
# recommends.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
