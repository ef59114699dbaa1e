#!/usr/bin/env bash
# Builds the packages of the show into build/ (or the folder given) and prints each one's SHA-256:
#   dadadazo_VERSION_amd64.deb         Debian package (release build, CPack)
#   dadadazo-VERSION-Linux.tar.gz      the same tree, unpacks and runs anywhere
#   dadadazo-VERSION-win64.zip         the Windows program with its polka and the README
#   dadadazo-VERSION-web.zip           the web page: page, program and music, for any static
#                                      file server, with the README
# The trees are built in OUT/release, OUT/windows and OUT/web (the release, windows and web
# presets). Installs what is missing first (scripts/install-deps.sh show packaging web).
#
# The same commit gives the same bytes, wherever and whenever it is built: every time stamp is
# SOURCE_DATE_EPOCH (the last commit's time, or the changelog's date outside a git checkout, unless
# it is set already), the programs hold no path of the source or build folder, and the archives
# are made from `cmake --install` trees with their members sorted by name, owned by root, with
# fixed permissions and times. tests/packaging builds everything twice and compares.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd -P)
out=$(mkdir -p "${1:-$source_dir/build}" && cd "${1:-$source_dir/build}" && pwd)

bash "$source_dir/scripts/install-deps.sh" show packaging web

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    # From this checkout's own history, never from a repository the sources happen to lie in.
    if [ "$(git -C "$source_dir" rev-parse --show-toplevel 2>/dev/null)" = "$source_dir" ]; then
        SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
    else
        SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$source_dir/dist/changelog" -S Timestamp)
    fi
fi
export SOURCE_DATE_EPOCH
# Names sorted the same way everywhere, zip's local times in UTC, the same permissions.
export LC_ALL=C TZ=UTC
umask 022

# archive FORMAT TREE NAME: installs TREE stripped into a folder NAME and packs it into
# TREE/packages/NAME.tar.gz or NAME.zip. Only files are stored (unpacking makes their folders).
archive() {
    local format=$1 tree=$2 name=$3 stage=$2/packages/stage
    rm -rf "$stage"
    cmake --install "$tree" --prefix "$stage/$name" --strip >/dev/null
    chmod -R u+rwX,go=rX "$stage"
    find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    local files
    files=$(cd "$stage" && find "$name" -type f | sort)
    case $format in
    tar.gz)
        (cd "$stage" && tar --create --file=- --format=gnu --no-recursion --owner=0 --group=0 \
            --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --files-from=- <<<"$files") |
            gzip -9n >"$tree/packages/$name.tar.gz"
        ;;
    zip)
        # -X: no owners or extra time fields, only the DOS time (UTC here).
        (cd "$stage" && zip -q -X -9 -@ "$tree/packages/$name.zip" <<<"$files")
        ;;
    esac
    rm -rf "$stage"
}

# package PRESET: configure, build and pack one tree; the packages are copied to OUT.
package() {
    local preset=$1 tree=$out/$1
    echo "package.sh: building $tree" >&2
    (cd "$source_dir" && cmake --preset "$preset" -B "$tree" -DDADADAZO_TESTS=OFF >/dev/null)
    cmake --build "$tree"
    rm -rf "$tree/packages"
    mkdir -p "$tree/packages"
    # The archive's name, as CPack names its packages (dadadazo-VERSION-SYSTEM).
    local name
    name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$tree/CPackConfig.cmake")
    case $preset in
    release)
        (cd "$tree" && cpack -G DEB >/dev/null)
        archive tar.gz "$tree" "$name"
        ;;
    *) archive zip "$tree" "$name" ;;
    esac
    local file
    for file in "$tree"/packages/*.deb "$tree"/packages/*.tar.gz "$tree"/packages/*.zip; do
        if [ -f "$file" ]; then
            cp "$file" "$out/"
            packages+=("$out/$(basename "$file")")
        fi
    done
}

packages=()
package release
package windows
package web
echo "package.sh: SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC'))"
# SHA-256 and path of each package, as sha256sum -c reads them.
sha256sum "${packages[@]}"
