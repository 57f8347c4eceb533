#!/usr/bin/env bash
# Side by side on the same bursts: qzxwatch with inotify (run without CAP_SYS_ADMIN through
# setpriv), qzxwatch with fanotify (qzxwatch-fanotify: the program's own choice, as root),
# the window (offscreen, "记录日志" ticked), inotifywait -m -r, fswatch -r and a reader that only
# drains inotify (the floor). Writes a section "## Results: LABEL" into docs/benchmarks.md (or
# --out FILE). --outside N has another process make N changes a minute beside the watched folder.
# qzxwatch-exclude is qzxwatch (inotify) with every other new folder excluded; --baseline
# qzxwatch divides CPU by qzxwatch's, --bursts TEXT keeps the bursts whose title holds TEXT.
#
#   bench/peers.sh [--quick] [--repeat N] [--label LABEL] [--out FILE] [--only qzxwatch,floor,...]
#                  [--outside PER_MINUTE] [--tmpfs] [--baseline WATCHER] [--bursts TEXT]
#
# --tmpfs (root only) runs the bursts on a tmpfs of their own, in a mount namespace of their own,
# so that a watcher of the whole file system (fanotify) is not also paying for every other
# change on the machine's disk; without it the bursts run under $TMPDIR or /tmp.
#
# Installs inotify-tools, fswatch and python3 through apt-get when they are missing, builds
# what it runs into build/ (or $QZX_BUILD_DIR) and takes about ten minutes (--quick: one).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_BUILD_DIR:-$top/build}

need=()
command -v inotifywait >/dev/null || need+=(inotify-tools)
command -v fswatch >/dev/null || need+=(fswatch)
command -v python3 >/dev/null || need+=(python3)
if ((${#need[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${need[@]}"
fi

"$top/tools/setup-debian.sh"
"$top/tools/build.sh" -t qzxwatch -t peer_window >/dev/null
tools="$build/bench/peers"
mkdir -p "$tools"
cc -O2 -Wall -Wextra -o "$tools/burst_gen" "$top/bench/burst_gen.c"
cc -O2 -Wall -Wextra -o "$tools/inotify_floor" "$top/bench/inotify_floor.c"
ln -sf "$build/app/cli/qzxwatch" "$tools/qzxwatch"
ln -sf "$build/bench/peer_window" "$tools/peer_window"

args=(--tools "$tools" --out "$top/docs/benchmarks.md")
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
rest=()
tmpfs=0
for arg in "$@"; do
  if [[ $arg == --tmpfs ]]; then tmpfs=1; else rest+=("$arg"); fi
done
if ((tmpfs)); then
  scratch=$(mktemp -d /tmp/qzx-peers-tmpfs-XXXXXX)
  trap 'rmdir "$scratch"' EXIT
  unshare -m sh -c 'mount --make-rprivate / && mount -t tmpfs -o size=4g tmpfs "$0" &&
    TMPDIR="$0" exec python3 "$@"' "$scratch" "$top/bench/peers.py" "${args[@]}" "${rest[@]}"
  exit
fi
exec python3 "$top/bench/peers.py" "${args[@]}" "${rest[@]}"
