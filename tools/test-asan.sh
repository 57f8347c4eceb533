#!/usr/bin/env bash
# The whole suite again, built with the address and undefined-behaviour checks (and the fuzz
# targets, whose seeds it replays); arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/sanitizer-env.sh"
"$qzx_top/tools/build-sanitized.sh" asan
cd "$(qzx_checked_dir asan)"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)" "$@"
