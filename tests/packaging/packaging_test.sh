#!/usr/bin/env bash
# The packages scripts/package.sh makes, and the shows they install.
#
#   packaging_test.sh prepare SOURCE WORK   scripts/package.sh into WORK/out (the release and
#                                           Windows trees, the three packages) and a fresh wine
#                                           prefix in WORK/wineprefix
#   packaging_test.sh deb WORK              the .deb's files and dependencies; lintian (no
#                                           errors, no hardening tags)
#   packaging_test.sh tarball WORK          the .tar.gz's files, the same as the .deb's
#   packaging_test.sh pages WORK            man -l renders each manual page without warnings;
#                                           the desktop entry and the icon
#   packaging_test.sh zip WORK              the Windows and web .zips' files
#   packaging_test.sh installed-show WORK AUDIO_CHECK
#                                           install into a prefix, move it: from an empty folder
#                                           the show plays the installed polka; a WAV in the
#                                           working folder wins
#   packaging_test.sh windows-show WORK AUDIO_CHECK
#                                           the unpacked .zip under wine: the WAV beside the
#                                           program plays; a WAV in the working folder wins
#   packaging_test.sh reproducible SOURCE WORK
#                                           the sources copied to another folder and packaged
#                                           there again: the same four packages, byte for byte
#                                           (diffoscope shows where they differ)
#
# AUDIO_CHECK is the audio_check tool: it writes a WAV of its own and compares the samples a
# sound driver wrote with a file's. The shows run on a virtual X server with sound going to a
# file: SDL's disk driver, or for wine an ALSA device that writes to a file.
set -euo pipefail

command=$1
if [ "$command" = prepare ] || [ "$command" = reproducible ]; then
    source_dir=$2
    work=$3
else
    work=$2
    audio_check=${3:-}
fi
out=$work/out
version=1.0.0
deb=$out/dadadazo_${version}_amd64.deb
tarball=$out/dadadazo-$version-Linux.tar.gz
zip=$out/dadadazo-$version-win64.zip
web_zip=$out/dadadazo-$version-web.zip
polka=$out/release/generated/tarmelipolkka.wav

export WINEPREFIX=$work/wineprefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

# What every Linux package holds, below its prefix.
installed_files=(
    bin/dadadazo
    bin/dadadazo-capture
    bin/dadadazo-trace
    share/dadadazo/tarmelipolkka.wav
    share/man/man6/dadadazo.6.gz
    share/man/man1/dadadazo-capture.1.gz
    share/man/man1/dadadazo-trace.1.gz
    share/applications/dadadazo.desktop
    share/icons/hicolor/256x256/apps/dadadazo.png
    share/doc/dadadazo/README.md
    share/doc/dadadazo/docs/packages.md
    share/doc/dadadazo/copyright
)

. "$(dirname "${BASH_SOURCE[0]}")/../lib/scratch_and_xvfb.sh"

# Checks that every file of a package is in the listing LIST (one path a line, prefix PREFIX).
check_listing() {
    local list=$1 prefix=$2 what=$3 file
    for file in "${installed_files[@]}"; do
        grep -q -x -F "$prefix$file" "$list" || fail "$what holds no $prefix$file"
    done
    echo "$what holds all ${#installed_files[@]} files"
}

prepare() {
    [ -x "$(command -v wine)" ] || fail "wine is not installed (scripts/install-deps.sh)"
    mkdir -p "$work"
    rm -f "$out"/*.deb "$out"/*.tar.gz "$out"/*.zip "$out/source-date-epoch"
    bash "$source_dir/scripts/package.sh" "$out" | tee "$work/package.log"
    # The time stamp the packages carry, for the second build of the reproducibility check: the
    # checkout may have a new commit by then.
    sed -n 's/^package.sh: SOURCE_DATE_EPOCH=\([0-9]*\) .*/\1/p' "$work/package.log" \
        >"$out/source-date-epoch"
    for file in "$deb" "$tarball" "$zip" "$web_zip"; do
        [ -f "$file" ] || fail "package.sh made no $(basename "$file")"
    done

    # A fresh prefix whose sound goes through ALSA (not a PulseAudio server that may be running).
    fresh_wine_prefix 'HKCU\Software\Wine\Drivers|Audio|alsa'
}

deb() {
    new_run_dir
    dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./||' >"$run_dir/list"
    check_listing "$run_dir/list" usr/ "the .deb"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    # From dpkg-shlibdeps: the libraries the programs link, with versions.
    for library in libsdl2-2.0-0 libc6 libpng16-16 libegl1; do
        grep -q -E "(^|, )$library( \(|,|$)" <<<"$depends" ||
            fail "the .deb does not depend on $library"
    done
    local status=0
    lintian --fail-on error --display-info "$deb" >"$run_dir/lintian" 2>&1 || status=$?
    grep -v '^running with root privileges' "$run_dir/lintian" || true
    grep -q '^E:' "$run_dir/lintian" && fail "lintian reports errors"
    [ "$status" -eq 0 ] || fail "lintian ended with status $status"
    # The programs are built as Debian builds its own (fortify, stack protector, relro, now, PIE).
    grep -q ' hardening-' "$run_dir/lintian" && fail "lintian finds programs built without hardening"
    echo "lintian: no errors, no hardening tags"
}

tarball() {
    new_run_dir
    local top=dadadazo-$version-Linux/
    tar -tzf "$tarball" >"$run_dir/list"
    check_listing "$run_dir/list" "$top" "the .tar.gz"
    # Everything lies in one folder, so the tree unpacks as a whole wherever it goes.
    if grep -v -q "^$top" "$run_dir/list"; then
        grep -v "^$top" "$run_dir/list" | head -n 5 >&2
        fail "the .tar.gz holds files outside $top"
    fi
    tar -xzf "$tarball" -C "$run_dir"
    cmp "$run_dir/$top/share/dadadazo/tarmelipolkka.wav" "$polka" ||
        fail "the tarball's polka is not the one the build rendered"
    [ -x "$run_dir/$top/bin/dadadazo" ] || fail "the tarball's show is not executable"
}

pages() {
    new_run_dir
    dpkg-deb -x "$deb" "$run_dir/root"
    local page
    for page in man6/dadadazo.6.gz man1/dadadazo-capture.1.gz man1/dadadazo-trace.1.gz; do
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$run_dir/root/usr/share/man/$page" \
            >"$run_dir/page" 2>"$run_dir/warnings" || fail "man -l $page failed"
        if [ -s "$run_dir/warnings" ]; then
            cat "$run_dir/warnings" >&2
            fail "man -l $page warns"
        fi
        grep -q '^NAME' "$run_dir/page" && grep -q '^SYNOPSIS' "$run_dir/page" ||
            fail "$page has no NAME or SYNOPSIS section"
        echo "$page: $(wc -l <"$run_dir/page") lines"
    done
    # The show's page says where the music comes from.
    LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$run_dir/root/usr/share/man/man6/dadadazo.6.gz" |
        grep -q 'share/dadadazo/tarmelipolkka.wav' ||
        fail "the show's page does not name the installed polka"

    local entry=$run_dir/root/usr/share/applications/dadadazo.desktop
    desktop-file-validate "$entry" || fail "the desktop entry does not validate"
    # The menu reads from a console: the entry must open a terminal.
    grep -q -x 'Terminal=true' "$entry" || fail "the desktop entry opens no terminal"
    grep -q -x 'Exec=dadadazo' "$entry" || fail "the desktop entry does not start dadadazo"
    file "$run_dir/root/usr/share/icons/hicolor/256x256/apps/dadadazo.png" |
        grep -q 'PNG image data, 256 x 256' || fail "the icon is not a 256x256 PNG"
    echo "desktop entry and icon: fine"
}

zip_contents() {
    new_run_dir
    local top=dadadazo-$version-win64/ file
    unzip -Z1 "$zip" >"$run_dir/list"
    for file in dadadazo.exe tarmelipolkka.wav README.md docs/development.md; do
        grep -q -x -F "$top$file" "$run_dir/list" || fail "the .zip holds no $top$file"
    done
    # The Windows build renders the polka itself; the bytes are the Linux build's.
    unzip -q "$zip" -d "$run_dir"
    cmp "$run_dir/$top/tarmelipolkka.wav" "$polka" ||
        fail "the zip's polka differs from the Linux build's"
    echo "the .zip holds $(wc -l <"$run_dir/list") files"

    # The page: what a static file server needs to show it, the polka the same bytes again.
    top=dadadazo-$version-web/
    unzip -Z1 "$web_zip" >"$run_dir/web-list"
    for file in index.html dadadazo.js dadadazo.wasm tarmelipolkka.wav tarmelipolkka.mp3 \
        tarmelipolkka.loop.json service-worker.js dadadazo.webmanifest dadadazo-icon.webp \
        dadadazo.png README.md docs/web.md; do
        grep -q -x -F "$top$file" "$run_dir/web-list" || fail "the web .zip holds no $top$file"
    done
    unzip -q "$web_zip" -d "$run_dir"
    cmp "$run_dir/$top/tarmelipolkka.wav" "$polka" ||
        fail "the web .zip's polka differs from the Linux build's"
}

# Waits until FILE holds at least BYTES bytes while process PID runs; at most LIMIT seconds.
wait_for_sound() {
    local file=$1 bytes=$2 pid=$3 limit=$4 started=$SECONDS size=0
    while [ $((SECONDS - started)) -lt "$limit" ]; do
        size=$(stat -c %s "$file" 2>/dev/null || echo 0)
        [ "$size" -ge "$bytes" ] && return 0
        if grep -q 'playing without sound' "$run_dir/err" 2>/dev/null; then
            cat "$run_dir/err" >&2
            fail "the show plays without sound"
        fi
        kill -0 "$pid" 2>/dev/null || {
            cat "$run_dir/err" >&2
            fail "the show ended with $size bytes of sound written"
        }
        sleep 0.2
    done
    cat "$run_dir/err" >&2
    fail "$size bytes of sound after $limit s"
}

# Two seconds of 44.1 kHz 16-bit stereo: enough to see the start of the music.
sound_bytes=352800

# Runs the installed show from FOLDER (menu choice 8) with SDL's disk audio until two seconds
# of sound are written; stops it as a window manager would (SIGTERM); checks the samples against
# EXPECTED.
play_installed() {
    local show=$1 folder=$2 expected=$3 raw=$run_dir/sound.raw
    rm -f "$raw"
    # $! is timeout's process, which passes a SIGTERM on to the show.
    printf '8\n' | (cd "$folder" && exec env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" \
        timeout -k 5 150 "$show" >"$run_dir/out" 2>"$run_dir/err") &
    local pid=$!
    wait_for_sound "$raw" "$sound_bytes" "$pid" 120
    kill -TERM "$pid" 2>/dev/null || true
    local status=0
    wait "$pid" || status=$?
    cat "$run_dir/err" >&2
    [ "$status" -eq 0 ] || fail "the show ended with status $status"
    "$audio_check" played "$expected" "$raw" $((sound_bytes / 2)) || fail "not the expected music"
}

installed_show() {
    new_run_dir
    start_xvfb
    cmake --install "$out/release" --prefix "$run_dir/first place" >/dev/null
    # Moved as a whole: the show finds its data from where it lies now.
    mv "$run_dir/first place" "$run_dir/moved"
    local show=$run_dir/moved/bin/dadadazo
    mkdir "$run_dir/empty" "$run_dir/own"
    echo "From an empty folder:"
    play_installed "$show" "$run_dir/empty" "$run_dir/moved/share/dadadazo/tarmelipolkka.wav"

    echo "With a WAV of its own in the working folder:"
    "$audio_check" write "$run_dir/own/tarmelipolkka.wav"
    play_installed "$show" "$run_dir/own" "$run_dir/own/tarmelipolkka.wav"
}

# Runs the Windows program from FOLDER under wine with its sound written to a file by ALSA until
# two seconds of sound are there, then ends it; checks the samples against EXPECTED.
play_windows() {
    local program=$1 folder=$2 expected=$3 raw=$run_dir/sound.raw
    rm -f "$raw"
    mkdir -p "$run_dir/home"
    cat >"$run_dir/home/.asoundrc" <<EOF
pcm.!default {
  type file
  slave.pcm "null"
  file "$raw"
  format "raw"
}
EOF
    printf '8\n' | (cd "$folder" && exec env HOME="$run_dir/home" timeout -k 5 150 wine "$program" \
        >"$run_dir/out" 2>"$run_dir/err") &
    local pid=$!
    wait_for_sound "$raw" "$sound_bytes" "$pid" 120
    timeout -k 10 30 wineserver -k >/dev/null 2>&1 || true
    wait "$pid" || true
    timeout -k 10 30 wineserver -w || true
    "$audio_check" played "$expected" "$raw" $((sound_bytes / 2)) || fail "not the expected music"
}

windows_show() {
    new_run_dir
    start_xvfb
    unzip -q "$zip" -d "$run_dir/unpacked here"
    local program="$run_dir/unpacked here/dadadazo-$version-win64/dadadazo.exe"
    mkdir "$run_dir/empty" "$run_dir/own"
    echo "From an empty folder:"
    play_windows "$program" "$run_dir/empty" "$(dirname "$program")/tarmelipolkka.wav"
    echo "With a WAV of its own in the working folder:"
    "$audio_check" write "$run_dir/own/tarmelipolkka.wav"
    play_windows "$program" "$run_dir/own" "$run_dir/own/tarmelipolkka.wav"
}

# Builds the packages again from a copy of the sources in another folder, a while after the first
# build, and compares them with the first build's.
reproducible() {
    local again=$work/again
    git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1 ||
        fail "the sources are no git checkout: cannot tell which files a commit holds"
    rm -rf "$again"
    mkdir -p "$again/source"
    # What a commit of this checkout would hold: the files git tracks, as they are now, and new
    # ones it does not ignore. The copy has no history: the time stamp is the first build's.
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        tar --null --files-from=- --ignore-failed-read --create --file=-) |
        tar --extract --file=- --directory="$again/source"
    SOURCE_DATE_EPOCH=$(cat "$out/source-date-epoch") \
        bash "$again/source/scripts/package.sh" "$again/out"
    local file differ=0
    for file in "$deb" "$tarball" "$zip" "$web_zip"; do
        if cmp -s "$file" "$again/out/$(basename "$file")"; then
            echo "the same: $(basename "$file")"
        else
            differ=$((differ + 1))
            echo "DIFFERENT: $(basename "$file")"
            diffoscope --text - --no-progress "$file" "$again/out/$(basename "$file")" |
                head -n 200 || true
        fi
    done
    [ "$differ" -eq 0 ] || fail "$differ of 4 packages differ between two builds of the same sources"
    rm -rf "$again"
}

case $command in
prepare) prepare ;;
reproducible) reproducible ;;
deb) deb ;;
tarball) tarball ;;
pages) pages ;;
zip) zip_contents ;;
installed-show) installed_show ;;
windows-show) windows_show ;;
*) fail "unknown command $command" ;;
esac
