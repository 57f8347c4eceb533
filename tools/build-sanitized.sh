#!/usr/bin/env bash
# Configures and builds a checked copy of QzxFile with clang; arguments after the kind go to
# cmake --build (for example -t watch_core_tests).
#   asan: address and undefined-behaviour checks, plus the fuzz targets (build-asan/)
#   tsan: the thread checker (build-tsan/)
set -euo pipefail
source "$(dirname "$0")/sanitizer-env.sh"
kind=${1:?usage: build-sanitized.sh asan|tsan [cmake --build arguments]}
shift
case "$kind" in
  asan) options=(-DQZX_SANITIZE=address,undefined -DQZX_BUILD_FUZZ=ON) ;;
  tsan) options=(-DQZX_SANITIZE=thread -DQZX_BUILD_FUZZ=OFF) ;;
  *) echo "build-sanitized.sh: unknown kind $kind" >&2; exit 2 ;;
esac
build=$(qzx_checked_dir "$kind")
launcher=()
if command -v ccache >/dev/null; then
  # Paths relative to the top, in the debug information too, let a fresh clone elsewhere reuse
  # what an earlier one compiled.
  export CCACHE_BASEDIR="$qzx_top" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
            "-DCMAKE_CXX_FLAGS=-fdebug-prefix-map=$qzx_top=.")
fi
cmake -S "$qzx_top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DQZX_BUILD_BENCH=OFF "${options[@]}" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
