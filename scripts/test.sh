#!/usr/bin/env bash
# Builds the test preset (AddressSanitizer and UBSan) and runs every test: unit tests, recorded
# frames, offscreen renders, the real program under Xvfb and the Windows program under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test -j2 "$@"
