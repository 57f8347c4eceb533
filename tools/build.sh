#!/usr/bin/env bash
# Configures and builds QzxFile into build/ (or $QZX_BUILD_DIR); arguments go to cmake --build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_BUILD_DIR:-$top/build}
# shellcheck source=tools/ccache-env.sh
source "$top/tools/ccache-env.sh"
qzx_ccache_options "$top"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${qzx_ccache[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
