#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine and starts the show: installs the packages,
# builds the Release preset and runs the show from its build folder, where the soundtrack lies.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh show
cmake --preset release >/dev/null
cmake --build --preset release
cd build/release
exec ./dadadazo
