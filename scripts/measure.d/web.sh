#!/usr/bin/env bash
# The web page's figures: on an emulated slow connection ("Fast 3G"), the time until the page
# takes a key and the bytes a whole show fetches (bench/web/load.mjs); then the frame rate per
# scene of the whole show in mode 7 (800 x 600) in headless Chromium (WebGL 2 through
# SwiftShader), in Firefox ESR, in WebKitGTK's MiniBrowser and in the native show (the last
# three on a virtual X server, Mesa's llvmpipe), one table (bench/web/fps.mjs). Builds the web
# preset's tree and the pinned npm packages into build/bench-web, and the release preset for the
# native show, first.
set -euo pipefail
work=$PWD/build/bench-web
bash tests/web/web_test.sh prepare "$PWD" "$work" >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release --target dadadazo soundtrack >/dev/null

# An X server of its own for Firefox, WebKit (its 1900 x 1180 window wholly on the screen) and
# the native show (fail, new_run_dir, start_xvfb).
source tests/lib/scratch_and_xvfb.sh
new_run_dir
start_xvfb 1920x1200x24

node bench/web/load.mjs --site "$work/site" --modules "$work/npm/node_modules"
echo
node bench/web/fps.mjs --site "$work/site" --modules "$work/npm/node_modules" --mode 7 \
    --browsers chromium,firefox,webkit --native "$PWD/build/release/dadadazo"
