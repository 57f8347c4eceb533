#!/usr/bin/env bash
# Makes docs/qzxfile-window.png, the picture of the main window in the README, and
# docs/qzxfile-menu.png, the list's context menu and the ignore list's dialog.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/build.sh" --target qzxfile-shot >/dev/null
QT_QPA_PLATFORM=offscreen "${QZX_BUILD_DIR:-$top/build}/tools/qzxfile-shot" "$top/docs/qzxfile-window.png"
echo "$top/docs/qzxfile-window.png"
QT_QPA_PLATFORM=offscreen "${QZX_BUILD_DIR:-$top/build}/tools/qzxfile-shot" "$top/docs/qzxfile-menu.png" menu
echo "$top/docs/qzxfile-menu.png"
