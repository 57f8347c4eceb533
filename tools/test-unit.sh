#!/usr/bin/env bash
# The ordinary build and every test; arguments go to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/build.sh"
cd "${QZX_BUILD_DIR:-$top/build}"
# The window tests run offscreen: no display is needed.
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" "$@"
