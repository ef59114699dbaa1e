#!/bin/sh
# fresh_home.sh ROOT COMMAND [ARGUMENT...]: runs one test as a fresh machine would, with home,
# cache, configuration, data and state folders of its own, new and empty, in a scratch folder
# under ROOT, and removes them after. No cache in the user's home (Mesa's shader cache above all,
# or a browser's or fontconfig's) can then hide a failure, and nothing a test writes lands there.
set -u
root=$1
shift
mkdir -p "$root" || exit 1
scratch=$(mktemp -d "$root/XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
export HOME="$scratch/home" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_HOME="$scratch/data" XDG_STATE_HOME="$scratch/state" \
    MESA_SHADER_CACHE_DIR="$scratch/cache/mesa_shader_cache"
mkdir -p "$HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" || exit 1
"$@"
