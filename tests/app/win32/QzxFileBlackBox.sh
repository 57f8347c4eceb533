#!/usr/bin/env bash
# Runs QzxFile.exe as a user would, under Wine on a private X server: types a folder, ticks
# "记录日志", presses Enter, changes files from the Linux side and reads the daily log's bytes.
# Then resizes the window from outside (QZX_RESIZE_PROBE names the program that does), closes
# it with Escape and checks that the process ends.
#
#   QzxFileBlackBox.sh PATH/TO/QzxFile.exe [WINE]
#
# WINE is the loader for the program's architecture (wine64 when not given).
set -euo pipefail
# The window fetches its online notices at start: without a network of its own, they never
# leave this machine (as root a network namespace; otherwise one inside a user namespace).
if [[ -z "${QZX_BLACKBOX_OFFLINE:-}" ]]; then
  for isolate in "unshare --net" "unshare --net --map-root-user"; do
    if $isolate true 2>/dev/null; then QZX_BLACKBOX_OFFLINE=1 exec $isolate bash "$0" "$@"; fi
  done
  echo "note: no network namespace to be had; the window's fetches may leave this machine" >&2
fi
exe=$(readlink -f "$1")
if [[ -n "${2:-}" ]]; then WINE64=$2; fi
top=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck source=../../../tools/wine-session.sh
source "$top/tools/wine-session.sh"

work=$(mktemp -d /tmp/qzx-blackbox.XXXXXX)
cleanup() {
  wine_session_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- log files:" >&2
  ls -la "$work/app/log" >&2 2>/dev/null || true
  # A picture of the screen tells what the window showed.
  if [[ -n "${QZX_FAIL_SHOT:-}" ]]; then import -window root "$QZX_FAIL_SHOT" 2>/dev/null || true; fi
  exit 1
}

# Waits until the command succeeds or the deadline in seconds passes.
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS > deadline)) && return 1
    sleep 0.2
  done
}

log_has() {  # fixed UTF-8 text: true when today's log holds it in GBK
  local needle
  needle=$(printf '%s' "$1" | iconv -f UTF-8 -t GBK)
  cat "$work"/app/log/*.log 2>/dev/null | grep -qF -- "$needle"
}

wine_session_start "$work"
mkdir -p "$work/app" "$work/watched"
cp "$exe" "$work/app/QzxFile.exe"
watched=$(winepath_of "$work/watched")

wine_session_run "$work/app/QzxFile.exe"
wine_find_window '翠鸮文件之哨' 120 >/dev/null || fail "the main window did not appear"
# Keys go to the virtual desktop's X window; inside it the path box has the focus at start.
desktop=$(wine_find_window 'Wine desktop' 10) || fail "no Wine desktop window"
xdotool windowfocus --sync "$desktop"
xdotool type --delay 15 "$watched"
# Shift+Tab from the path box wraps to the last control, "记录日志"; Enter presses "开始监控".
xdotool key --delay 100 shift+Tab space Return

# The run is armed once a change made now reaches the log.
n=0
armed() {
  n=$((n + 1))
  : >"$work/watched/probe-$n.txt"
  sleep 0.3
  log_has "probe-"
}
wait_for 30 armed || fail "no log line for a new file: not monitoring, or the log is not written"

# Wine's subtree watch sees a subfolder made after arming once it has been reported.
mkdir "$work/watched/子目录"
wait_for 15 log_has $'\t新增\t'"$watched\\子目录"$'\r' || fail "new subfolder not logged"
sub="$work/watched/子目录"
printf 'a' >"$sub/文件一.txt"
printf 'b' >"$sub/文件三.txt"
wait_for 15 log_has $'\t新增\t'"$watched\\子目录\\文件三.txt"$'\r' || fail "new files not logged"
mv "$sub/文件一.txt" "$sub/文件二.txt"
rm "$sub/文件三.txt"
wait_for 15 log_has $'\t删除\t'"$watched\\子目录\\文件三.txt"$'\r' || fail "deletion not logged"

# Every line: timestamp TAB id TAB type TAB details CR LF, GBK, ids running on by one.
python3 - "$work/app/log" "$watched" <<'PY' || fail "log bytes"
import glob, re, sys
folder, watched = sys.argv[1], sys.argv[2]
files = glob.glob(folder + "/*.log")
assert len(files) == 1, files
name = files[0].rsplit("/", 1)[1]
assert re.fullmatch(r"\d{4}-[1-9]\d?-[1-9]\d?\.log", name), name
data = open(files[0], "rb").read()
assert not data.startswith(b"\xef\xbb\xbf"), "byte-order mark"
assert data.endswith(b"\r\n"), "last line without CR LF"
assert data.count(b"\n") == data.count(b"\r\n"), "a line end without CR"
text = data.decode("gbk")  # strict: every byte must be GBK
line_re = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t(\d+)\t(新增|删除|修改|命名|其他)\t(.+)")
ids = []
for line in text.split("\r\n")[:-1]:
    m = line_re.fullmatch(line)
    assert m, repr(line)
    ids.append(int(m.group(1)))
    assert m.group(3).startswith(watched + "\\"), repr(line)
assert ids == list(range(ids[0], ids[0] + len(ids))), ids
sub = watched + "\\子目录\\"
want_rename = "\t命名\t" + sub + "文件一.txt 命名为 " + sub + "文件二.txt\r\n"
assert want_rename in text, "rename line missing:\n" + text
assert "\t新增\t" + sub + "文件一.txt\r\n" in text, text
print(f"log: {len(ids)} lines, ids {ids[0]}..{ids[-1]}, {len(data)} bytes of GBK")
PY

# The list's menu: a right click anywhere in the list offers "忽略列表..." last; its dialog takes
# a pattern, OK saves it in the user's settings and the next changes follow it.
main=$(wine_find_window '翠鸮文件之哨' 5) || fail "the main window went away"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH * 44 / 100)) $((HEIGHT * 60 / 100)) click 3
sleep 0.5
xdotool key --delay 150 Up Return
wine_find_window '忽略列表' 20 >/dev/null || fail "the ignore list's dialog did not open from the menu"
xdotool type --delay 15 '*.tmp'
xdotool key --delay 150 Tab Return
ignore_file() { find "$WINEPREFIX/drive_c/users" -path '*/QzxFile/ignore.txt' 2>/dev/null | head -n1; }
ignore_saved() { [[ -n "$(ignore_file)" ]]; }
wait_for 15 ignore_saved || fail "the ignore list was not saved"
[[ "$(od -An -c "$(ignore_file)" | tr -s ' ')" == " * . t m p \r \n" ]] ||
  fail "ignore.txt holds $(od -An -c "$(ignore_file)")"
: >"$sub/忽略.tmp"
: >"$sub/保留.txt"
wait_for 15 log_has $'\t新增\t'"$watched\\子目录\\保留.txt"$'\r' || fail "kept file not logged"
! log_has "忽略.tmp" || fail "a file the list ignores was logged"

# A drag of the border, made from outside: never below the template's size, and the list
# follows a larger one.
if [[ -n "${QZX_RESIZE_PROBE:-}" ]]; then
  cp "$QZX_RESIZE_PROBE" "$work/app/resize-probe.exe"
  "$WINE64" "$(winepath_of "$work/app/resize-probe.exe")" qzx || fail "free resize"
fi

# Escape closes the window while monitoring; the process ends with it.
xdotool key Escape
app_ended() { ! kill -0 "$WINE_APP_PID" 2>/dev/null; }
wait_for 20 app_ended || fail "the program did not end after Escape"
echo "PASS: QzxFile.exe black-box run"
