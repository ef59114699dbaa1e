#!/usr/bin/env bash
# The long-run figures (the README's "Long runs"): 50 starts and ends of the show under a
# virtual X server, five of them left to end by time; about ten minutes.
set -euo pipefail
bash scripts/soak.sh 50
