#!/usr/bin/env bash
# Installs the Debian packages of the named groups (scripts/packages/GROUP.txt): show (build and
# run the show and its tools), tools (what the tools call at run time), tests (tests, benchmarks,
# the Windows build), and any other list in that folder. No group, or "all", means every list.
# Safe to run again: packages already present are left alone. Needs root (or sudo).
set -euo pipefail
lists="$(dirname "$0")/packages"

groups=("$@")
if [ ${#groups[@]} -eq 0 ] || [ "${groups[0]}" = all ]; then
  groups=()
  for file in "$lists"/*.txt; do
    groups+=("$(basename "$file" .txt)")
  done
fi

packages=()
for group in "${groups[@]}"; do
  file="$lists/$group.txt"
  if [ ! -f "$file" ]; then
    echo "install-deps.sh: no package list named '$group' in $lists" >&2
    exit 2
  fi
  # One or more names a line; '#' starts a comment.
  while read -r line; do
    line="${line%%#*}"
    for package in $line; do
      packages+=("$package")
    done
  done <"$file"
done

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
# recommends. Waits for another apt run to finish rather than failing on its lock.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  -o DPkg::Lock::Timeout=600 "${missing[@]}" >&2
