#!/usr/bin/env bash
# Runs the Windows window benchmark under Wine on a private X server and prints its results.
# The burst of new folders and files is made by a Linux program, at the pace of the Linux
# window's own benchmark, once the window watches.
#
#   bench-win32.sh [window_bench_win32.exe] [files-per-folder=1000] [folders=20] [rows=1000000]
#
# Without an argument the bench is built first (QZX_WINDOWS_BENCH=ON tools/build-windows.sh);
# bench/stall.sh runs it next to the Linux window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-}
if [[ -z "$exe" ]]; then
  exe=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}/x86_64/bench/window_bench_win32.exe
  QZX_WINDOWS_BENCH=ON "$top/tools/build-windows.sh" >&2
fi
per=${2:-1000}
folders=${3:-20}
rows=${4:-1000000}
exe=$(readlink -f "$exe")
source "$top/tools/wine-session.sh"
work=$(mktemp -d /tmp/qzx-bench.XXXXXX)
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start "$work"
mkdir -p "$work/app" "$work/burst"
cp "$exe" "$work/app/"
# Started straight from wine64, not through "explorer /desktop", so that its output reaches
# us; the prefix is told to put its windows on a virtual desktop all the same.
"$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d qzx /f >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v qzx /d "$WINE_DESKTOP_SIZE" /f \
  >/dev/null 2>&1
# QZX_BENCH_THEME=off: a prefix without Wine's visual theme, to tell its cost from the program's.
if [[ "${QZX_BENCH_THEME:-on}" == off ]]; then
  "$WINE64" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f >/dev/null 2>&1
fi
wineserver_wait
"$WINE64" "$work/app/$(basename "$exe")" "$per" "$folders" "$rows" \
  "$(winepath_of "$work/burst")" >"$work/out.txt" 2>"$work/err.txt" &
bench=$!

deadline=$((SECONDS + 120))
until [[ -e "$work/burst/armed" ]]; do
  if ((SECONDS > deadline)) || ! kill -0 "$bench" 2>/dev/null; then
    cat "$work/out.txt" "$work/err.txt" >&2
    echo "the bench did not start watching" >&2
    exit 1
  fi
  sleep 0.1
done
python3 - "$work/burst/watched" "$folders" "$per" <<'PY'
import os, sys, time
root, folders, per = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
t = time.monotonic()
for f in range(folders):
    os.mkdir(f"{root}/d{f}")
for i in range(per):
    for f in range(folders):
        os.close(os.open(f"{root}/d{f}/file-{i}", os.O_CREAT | os.O_WRONLY, 0o644))
print(f"linux writer: {folders} new folders x {per} files in {(time.monotonic() - t) * 1000:.0f} ms")
PY
: >"$work/burst/written"
wait "$bench" || echo "bench exit status $?"
tr -d "\r" <"$work/out.txt"; cat "$work/err.txt"
