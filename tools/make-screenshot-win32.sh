#!/usr/bin/env bash
# Makes docs/qzxfile-window-win32.png, the picture of the Windows program in the README: the
# 64-bit QzxFile.exe under Wine, watching a folder in which a few files change. With "menu",
# docs/qzxfile-menu-win32.png instead: the list's context menu open on a row, and the ignore
# list's dialog on a sample list beside the window.
#
#   make-screenshot-win32.sh [QzxFile.exe] [menu]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=
mode=window
for arg in "$@"; do
  if [[ "$arg" == menu ]]; then mode=menu; else exe=$arg; fi
done
if [[ -z "$exe" ]]; then
  "$top/tools/build-windows.sh" -t QzxFile >/dev/null
  exe=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}/x86_64/app/win32/QzxFile.exe
fi
exe=$(readlink -f "$exe")
out=$top/docs/qzxfile-window-win32.png
if [[ "$mode" == menu ]]; then out=$top/docs/qzxfile-menu-win32.png; fi
source "$top/tools/wine-session.sh"

work=$(mktemp -d /tmp/qzx-shot.XXXXXX)
trap 'wine_session_stop; rm -rf "$work"' EXIT
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS > deadline)) && { echo "timed out: $*" >&2; import -window root /tmp/qzx-shot-failed.png; exit 1; }
    sleep 0.2
  done
}
log_has() {
  cat "$work"/app/log/*.log 2>/dev/null | grep -qF -- "$(printf '%s' "$1" | iconv -t GBK)"
}

wine_session_start "$work"
mkdir -p "$work/app" "$work/d/data"
cp "$exe" "$work/app/QzxFile.exe"
# The watched folder as drive D:, so that the rows read like a Windows user's.
ln -s "$work/d" "$WINEPREFIX/dosdevices/d:"
: >"$work/d/data/草稿.txt"
: >"$work/d/data/cache.tmp"

if [[ "$mode" == menu ]]; then
  # A list in the user's settings, as the dialog will show it; it leaves the sample rows be.
  roaming=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -path '*/AppData/Roaming' ! -path '*/Public/*' | head -n1)
  mkdir -p "$roaming/QzxFile"
  printf '%s\r\n' '# 编辑器的临时文件' '~$*' '*.sw?' '*.crdownload' '# 构建和版本库' 'build/' '.git/' \
    'node_modules/' '/docs/old/' '!keep.swp' >"$roaming/QzxFile/ignore.txt"
fi
wine_session_run "$work/app/QzxFile.exe"
window=$(wine_find_window '翠鸮文件之哨' 60)
xdotool windowfocus --sync "$(wine_find_window 'Wine desktop' 10)"
xdotool type --delay 15 'D:\data'
xdotool key --delay 100 shift+Tab space Return
n=0
armed() {
  n=$((n + 1))
  : >"$work/d/data/probe-$n"
  sleep 0.3
  log_has probe-
}
wait_for 30 armed
# "清空记录" is two tab stops before "记录日志": the probes go, the IDs start at 1 again.
xdotool key --delay 100 shift+Tab shift+Tab space
sleep 1
mkdir "$work/d/data/报告"
wait_for 15 log_has $'\tD:\\data\\报告\r'
printf 'x' >"$work/d/data/报告/2026年12月.docx"
mkdir "$work/d/data/照片"
wait_for 15 log_has $'\tD:\\data\\照片\r'
printf 'x' >"$work/d/data/照片/IMG_0042.jpg"
mv "$work/d/data/草稿.txt" "$work/d/data/定稿.txt"
rm "$work/d/data/cache.tmp"
wait_for 15 log_has $'\tD:\\data\\cache.tmp\r'
# The ticker's first step shows its default line.
sleep 6
if [[ "$mode" == window ]]; then
  import -window "$window" "$out"
  echo "$out"
  exit 0
fi
# The menu of the third row, where a right click on it opens it: the list starts 66 of the
# template's 303 units down, below its header, and a row is about as tall as the header.
eval "$(xdotool getwindowgeometry --shell "$window")"
# A click on the first row, then the third one by keyboard, and its menu by Shift+F10.
xdotool mousemove --window "$window" $((WIDTH * 40 / 100)) $((HEIGHT * 90 / 303)) click 1
xdotool key --delay 150 Home Down Down shift+F10
sleep 1
# The menu is a window of its own over the main one: the picture is of the screen there.
import -window root "$work/root.png"
read -r left top < <(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {print x, $NF}')
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${left}+${top}" +repage "$work/window.png"
xdotool key --delay 150 Up Return
dialog=$(wine_find_window '忽略列表' 20)
sleep 1
import -window "$dialog" "$work/dialog.png"
convert "$work/window.png" \( "$work/dialog.png" -background white -gravity west -splice 16x0 \) \
  -background white -gravity center +append "$out"
echo "$out"
