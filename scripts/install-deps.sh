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
# Packages installed without the packages they recommend (a line that starts with "bare:").
bare=()
for group in "${groups[@]}"; do
  file="$lists/$group.txt"
  if [ ! -f "$file" ]; then
    echo "install-deps.sh: no package list named '$group' in $lists" >&2
    exit 2
  fi
  # One or more names a line; '#' starts a comment.
  while read -r line; do
    line="${line%%#*}"
    if [[ $line == bare:* ]]; then
      for package in ${line#bare:}; do
        bare+=("$package")
      done
      continue
    fi
    for package in $line; do
      packages+=("$package")
    done
  done <"$file"
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
missing_bare=()
for package in "${bare[@]}"; do
  installed "$package" || missing_bare+=("$package")
done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]} ${missing_bare[*]}" >&2
"${sudo[@]}" apt-get update -qq
# With recommended packages: wine's X11 and OpenGL support comes from libraries it only
# recommends. Waits for another apt run to finish rather than failing on its lock.
if [ ${#missing[@]} -gt 0 ]; then
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    -o DPkg::Lock::Timeout=600 "${missing[@]}" >&2
fi
if [ ${#missing_bare[@]} -gt 0 ]; then
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${missing_bare[@]}" >&2
fi
