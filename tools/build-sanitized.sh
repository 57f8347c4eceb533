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
# shellcheck source=tools/ccache-env.sh
source "$qzx_top/tools/ccache-env.sh"
qzx_ccache_options "$qzx_top"
cmake -S "$qzx_top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DQZX_BUILD_BENCH=OFF "${options[@]}" "${qzx_ccache[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" "$@"
