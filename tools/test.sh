#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-debian.sh"
"$top/tools/build.sh"
cd "${QZX_BUILD_DIR:-$top/build}"
# The window tests run offscreen: no display is needed.
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" "$@"
"$top/tools/test-windows.sh"
