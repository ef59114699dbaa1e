#!/usr/bin/env bash
# Builds the three packages of the show into build/ (or the folder given):
#   dadadazo_VERSION_amd64.deb         Debian package (release build)
#   dadadazo-VERSION-Linux.tar.gz      the same tree, unpacks and runs anywhere
#   dadadazo-VERSION-win64.zip         the Windows program with its polka and the README
#   dadadazo-VERSION-web.zip           the web page: page, program and music, for any static
#                                      file server, with the README
# The trees are built in OUT/release, OUT/windows and OUT/web (the release, windows and web
# presets). Installs what is missing first (scripts/install-deps.sh show packaging web).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$source_dir/build}" && cd "${1:-$source_dir/build}" && pwd)

bash "$source_dir/scripts/install-deps.sh" show packaging web

# package PRESET: configure, build and pack one tree; the packages are copied to OUT.
package() {
    local preset=$1 tree=$out/$1
    echo "package.sh: building $tree" >&2
    (cd "$source_dir" && cmake --preset "$preset" -B "$tree" -DDADADAZO_TESTS=OFF >/dev/null)
    cmake --build "$tree"
    rm -rf "$tree/packages"
    (cd "$tree" && cpack >/dev/null)
    local file
    for file in "$tree"/packages/*.deb "$tree"/packages/*.tar.gz "$tree"/packages/*.zip; do
        if [ -f "$file" ]; then
            cp "$file" "$out/"
            echo "$out/$(basename "$file")"
        fi
    done
}

package release
package windows
package web
