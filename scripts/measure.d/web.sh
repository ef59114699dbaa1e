#!/usr/bin/env bash
# The web page's frame rate per scene at 800 x 600 in headless Chromium (WebGL 2 through
# SwiftShader, on the CPU): the whole show in mode 7, frames per second from its time lines
# (the README's web figures). Builds the web preset's tree and the pinned puppeteer-core into
# build/bench-web first.
set -euo pipefail
work=build/bench-web
bash tests/web/web_test.sh prepare "$PWD" "$PWD/$work" >/dev/null
node bench/web/fps.mjs --site "$work/site" --modules "$work/npm/node_modules" --mode 7
