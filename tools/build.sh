#!/usr/bin/env bash
# Configures and builds QzxFile into build/ (or $QZX_BUILD_DIR); arguments go to cmake --build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_BUILD_DIR:-$top/build}
# ccache, when present, makes rebuilds in fresh clones cheap; it changes nothing else.
launcher=()
if command -v ccache >/dev/null; then
  # Paths relative to the top, in the debug information too, let a fresh clone elsewhere reuse
  # what an earlier one compiled.
  export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
            "-DCMAKE_CXX_FLAGS=-fdebug-prefix-map=$top=.")
fi
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
