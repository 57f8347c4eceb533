#!/usr/bin/env bash
# CPU time and context switches per thread of one watcher over one burst, read from
# /proc/PID/task/*/schedstat (nanoseconds, not the 10 ms ticks of /proc/PID/stat), so that
# small differences show on a busy machine. Run bench/peers.sh once first: it builds the tools.
#
#   bench/thread_cpu.sh qzxwatch|window|inotifywait MODE ARGS...   (MODE and ARGS as burst_gen's)
#   e.g. bench/thread_cpu.sh qzxwatch nested 200 10
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_BUILD_DIR:-$top/build}
tools=${QZX_TOOLS:-$build/bench/peers}  # burst_gen; another build may share one
prog=$1 mode=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root" log="$work/log"
mkdir -p "$root" "$log"
case $mode in
  renames) "$tools/burst_gen" prepare-renames "$root" "$1" >/dev/null ;;
  appends) "$tools/burst_gen" prepare-appends "$root" "$2" >/dev/null ;;
esac
case $prog in
  qzxwatch) cmd=("$build/app/cli/qzxwatch" --log "$log" "$root") ;;
  window) cmd=("$build/bench/peer_window" "$root" "$log") ;;
  inotifywait) cmd=(inotifywait -m -r -e create,delete,modify,attrib,move --format "%e %w%f" "$root") ;;
  *) echo "unknown watcher $prog" >&2; exit 1 ;;
esac
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"${cmd[@]}" >"$work/out" 2>/dev/null &
pid=$!
sleep 1.5  # set up; the folders are empty or flat, so this is ample

snapshot() {
  local t
  for t in /proc/"$pid"/task/*; do
    read -r ns _ switches <"$t/schedstat"
    echo "${t##*/} $ns $switches"
  done
}
snapshot >"$work/before"
"$tools/burst_gen" "$mode" "$root" "$@" >/dev/null
sleep 2  # every watcher here reports within a fraction of that
snapshot >"$work/after"
kill -TERM "$pid"
wait "$pid" || true
join "$work/before" "$work/after" |
  awk -v what="$prog $mode $*" '{ ms = ($4 - $2) / 1e6; sw = $5 - $3; tms += ms; tsw += sw
                                  printf "  thread %s: %.0f ms, %d switches\n", $1, ms, sw }
                                END { printf "%s: %.0f ms, %d switches\n", what, tms, tsw }'
