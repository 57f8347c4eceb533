#!/usr/bin/env bash
# Installs what is missing, builds and starts QzxFile.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-debian.sh"
"$top/tools/build.sh"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  cat >&2 <<MSG
QzxFile is a desktop program and there is no display here (neither DISPLAY nor
WAYLAND_DISPLAY is set). Start it from a desktop session, or under a virtual one:

    xvfb-run -a -s "-screen 0 1280x800x24" $top/build/app/qt/qzxfile
MSG
  exit 1
fi
exec "${QZX_BUILD_DIR:-$top/build}/app/qt/qzxfile"
