#!/usr/bin/env bash
# The show's web page in headless Chromium, in Firefox ESR and in WebKitGTK's MiniBrowser.
#
#   web_test.sh prepare SOURCE WORK   build the web preset's tree into WORK/site (Emscripten) and
#                                     install the pinned npm packages (puppeteer-core,
#                                     selenium-webdriver, pngjs) into WORK/npm
#   web_test.sh run SOURCE WORK TEST [ARGS...]
#                                     run tests/web/TEST.mjs against WORK/site; with
#                                     "--browser firefox" or "--browser webkit" among ARGS, on an
#                                     X server of its own
set -euo pipefail

command=$1
source_dir=$2
work=$3
shift 3

# fail, and an X server of its own for Firefox (start_xvfb), stopped on exit.
source "$source_dir/tests/lib/scratch_and_xvfb.sh"

prepare() {
    for tool in emcc node npm chromium; do
        [ -x "$(command -v $tool)" ] ||
            fail "$tool is not installed (scripts/install-deps.sh web web-tests;" \
                "npm comes with nodejs)"
    done
    mkdir -p "$work"
    (cd "$work" && cmake -S "$source_dir" -B "$work/site" --preset web >/dev/null)
    cmake --build "$work/site" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
    for file in index.html dadadazo.js dadadazo.wasm tarmelipolkka.wav tarmelipolkka.mp3 \
        tarmelipolkka.loop.json service-worker.js dadadazo.webmanifest dadadazo-icon.webp \
        dadadazo.png; do
        [ -f "$work/site/$file" ] || fail "the web build made no $file"
    done

    # npm ci empties node_modules first: only when the lock file changed since the last install.
    local npm_dir=$work/npm
    if ! cmp -s "$source_dir/tests/web/package-lock.json" "$npm_dir/package-lock.json" ||
        [ ! -d "$npm_dir/node_modules/puppeteer-core" ] ||
        [ ! -d "$npm_dir/node_modules/selenium-webdriver" ]; then
        mkdir -p "$npm_dir"
        cp "$source_dir/tests/web/package.json" "$source_dir/tests/web/package-lock.json" \
            "$npm_dir/"
        # puppeteer-core never downloads a browser; the tests drive Debian's Chromium and Firefox.
        (cd "$npm_dir" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    fi
}

case $command in
prepare) prepare ;;
run)
    test_name=$1
    shift
    if [[ " $* " == *" --browser firefox "* ]]; then
        [ -x "$(command -v firefox-esr)" ] ||
            fail "firefox-esr is not installed (scripts/install-deps.sh web-tests)"
        new_run_dir
        start_xvfb
        start_sound_sink
    elif [[ " $* " == *" --browser webkit "* ]]; then
        [ -x "$(command -v WebKitWebDriver)" ] ||
            fail "WebKitWebDriver is not installed (scripts/install-deps.sh web-tests)"
        # MiniBrowser's 1900 x 1180 window, wholly on the screen.
        new_run_dir
        start_xvfb 1920x1200x24
        start_sound_sink
    fi
    node "$source_dir/tests/web/$test_name.mjs" --site "$work/site" \
        --modules "$work/npm/node_modules" "$@"
    ;;
*) fail "unknown command $command" ;;
esac
