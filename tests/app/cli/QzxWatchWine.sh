#!/usr/bin/env bash
# Runs qzxwatch.exe under Wine as a script would: its exit codes for bad arguments and for a
# folder it cannot watch, the lines of a few changes made from Wine's side in a folder with a
# Chinese name, Ctrl+C, --gbk output into a pipe that closes, and the watched folder removed.
#
#   QzxWatchWine.sh PATH/TO/qzxwatch.exe [WINE]
#
# Uses $WINEPREFIX when set (tools/test-windows.sh makes one per run), else a throwaway one.
set -euo pipefail
exe=$(readlink -f "$1")
wine=${2:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES='mscoree,mshtml='
# Names cross between Linux and Wine in the locale's encoding: UTF-8 both ways.
export LC_ALL=C.UTF-8

work=$(mktemp -d /tmp/qzx-watchwine.XXXXXX)
own_prefix=""
if [[ -z "${WINEPREFIX:-}" ]]; then
  own_prefix=1
  export WINEPREFIX="$work/prefix"
  "$wine" wineboot -i >/dev/null 2>&1
fi
watch_pid=""
cleanup() {
  if [[ -n "$watch_pid" ]]; then kill "$watch_pid" 2>/dev/null || true; fi
  if [[ -n "$own_prefix" ]]; then
    "${wine%wine64}wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do
    [[ -f "$f" ]] && { echo "--- $f" >&2; cat -A "$f" >&2; }
  done
  exit 1
}
wait_for() {  # seconds command...: true once the command succeeds before the deadline
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS > deadline)) && return 1
    sleep 0.1
  done
}
has() { grep -qF -- "$2" "$1" 2>/dev/null; }
gone() { ! kill -0 "$1" 2>/dev/null; }
# A Linux path as Wine's Z: drive sees it.
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
# Runs a command of Wine's own shell in the watched folder, so the changes come from Wine.
wine_cmd() { (cd "$watched" && "$wine" cmd /c "$@" >/dev/null 2>&1); }

run() {  # expected-code args...: runs qzxwatch to its end
  local expected=$1 code=0
  shift
  "$wine" "$exe" "$@" >"$work/run.out" 2>"$work/run.err" || code=$?
  [[ $code == "$expected" ]] || fail "qzxwatch $* ended with $code, expected $expected"
}

# Bad arguments: 1, with the reason on standard error.
run 1 --bogus
has "$work/run.err" "qzxwatch: unknown option: --bogus" || fail "no reason for a bad option"
run 1
run 1 --kinds nothing "$(winpath "$work")"
# A folder that is not there, and a file where a folder is wanted: 2.
run 2 'Z:\no\such\folder here'
[[ -s "$work/run.err" ]] || fail "no message for a missing folder"
: >"$work/plain.txt"
run 2 "$(winpath "$work/plain.txt")"

# A watch of a folder with a Chinese name; its subfolder is made after arming.
watched="$work/监控目录"
mkdir "$watched"
W=$(winpath "$watched")
"$wine" "$exe" "$W" >"$work/watch.out" 2>"$work/watch.err" &
watch_pid=$!
wait_for 20 has "$work/watch.err" "监控中.." || fail "qzxwatch did not start watching"
wine_cmd mkdir 子目录
wait_for 10 has "$work/watch.out" $'\t新增\t'"$W\\子目录" || fail "new subfolder not printed"
wine_cmd 'echo a>子目录\文件一.txt && ren 子目录\文件一.txt 文件二.txt && del 子目录\文件二.txt'
wait_for 10 has "$work/watch.out" $'\t删除\t'"$W\\子目录\\文件二.txt" || fail "deletion not printed"
has "$work/watch.out" $'\t新增\t'"$W\\子目录\\文件一.txt" || fail "new file not printed"
has "$work/watch.out" $'\t命名\t'"$W\\子目录\\文件一.txt 命名为 $W\\子目录\\文件二.txt" ||
  fail "rename not printed as one pair"
# Rows are numbered in order, one change a line.
awk -F'\t' '$2 != NR { exit 1 }' "$work/watch.out" || fail "rows not numbered 1, 2, 3, ..."
# Ctrl+C (Wine turns SIGINT into the console's Ctrl+C event) stops the run cleanly.
kill -INT "$watch_pid"
wait_for 10 gone "$watch_pid" || fail "Ctrl+C did not stop qzxwatch"
code=0
wait "$watch_pid" || code=$?
watch_pid=""
[[ $code == 0 ]] || fail "Ctrl+C ended qzxwatch with $code, expected 0"
has "$work/watch.err" "已停止.." || fail "no stopped status after Ctrl+C"

# --gbk: the log's bytes, CR LF included. The reader takes one line and leaves; the next
# write then fails, which ends the run with 4.
rm -rf "${watched:?}"/*
exec {pipe}> >(head -n1 >"$work/gbk.out")
reader=$!
"$wine" "$exe" --gbk "$W" 2>"$work/gbk.err" 1>&"$pipe" &
watch_pid=$!
exec {pipe}>&-
wait_for 20 has "$work/gbk.err" "监控中.." || fail "qzxwatch --gbk did not start watching"
wine_cmd 'echo b>文件.txt'
wait_for 10 gone "$reader" || fail "no line reached the reader"
expected=$(printf '\t1\t新增\t%s\\文件.txt' "$W" | iconv -f UTF-8 -t GBK | od -An -tx1 | tr -d ' \n')
line=$(od -An -tx1 "$work/gbk.out" | tr -d ' \n')
[[ $line == *"$expected"0d0a ]] || fail "the --gbk line is not GBK ending in CR LF: $line"
wine_cmd 'echo c>文件二.txt'
wait_for 10 gone "$watch_pid" || fail "qzxwatch went on after its output closed"
code=0
wait "$watch_pid" || code=$?
watch_pid=""
[[ $code == 4 ]] || fail "a closed output ended qzxwatch with $code, expected 4"
# The watched folder removed from under it: 3, with the reason.
doomed="$work/将被删除"
mkdir "$doomed"
"$wine" "$exe" "$(winpath "$doomed")" >"$work/gone.out" 2>"$work/gone.err" &
watch_pid=$!
wait_for 20 has "$work/gone.err" "监控中.." || fail "qzxwatch did not start watching"
rmdir "$doomed"
wait_for 10 gone "$watch_pid" || fail "qzxwatch went on after its folder was removed"
code=0
wait "$watch_pid" || code=$?
watch_pid=""
[[ $code == 3 ]] || fail "a removed folder ended qzxwatch with $code, expected 3"
has "$work/gone.err" "监控已停止" || fail "no reason given for the end of the watch"
echo "qzxwatch.exe under Wine: all checks passed"
