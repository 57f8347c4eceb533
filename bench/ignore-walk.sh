#!/usr/bin/env bash
# The set-up walk with an excluded node_modules/ and build/: the time from start to "监控中.."
# of qzxwatch on a tree with them (excluded by --exclude, or by the tree's .gitignore with
# --gitignore) against the same tree without them, and the inotify watches it holds.
# Usage: bench/ignore-walk.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
qzxwatch=$build/app/cli/qzxwatch
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
# As root the fanotify engine marks the tree without a walk; the inotify walk is what is
# measured, so root runs it as nobody.
as_user=()
if [ "$(id -u)" = 0 ]; then as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all); fi
make_tree() {  # $1 root, $2: with the excluded folders
    mkdir -p "$1"
    for i in $(seq 1 40); do for j in $(seq 1 5); do mkdir -p "$1/src/m$i/p$j"; done; done
    if [ "$2" = yes ]; then
        for i in $(seq 1 400); do for j in $(seq 1 10); do mkdir -p "$1/node_modules/k$i/d$j"; done; done
        for i in $(seq 1 100); do for j in $(seq 1 10); do mkdir -p "$1/build/o$i/d$j"; done; done
    fi
    printf 'node_modules/\nbuild/\n' > "$1/.gitignore"
}
make_tree "$work/with" yes
make_tree "$work/without" no
# Prints the milliseconds to "监控中.." and the watches then held.
measure() {
    local start end pid watches
    rm -f "$work/err"
    start=$(date +%s%N)
    "${as_user[@]}" "$qzxwatch" "$@" 2> "$work/err" > /dev/null &
    pid=$!
    until grep -q "监控中" "$work/err" 2>/dev/null; do sleep 0.005; done
    end=$(date +%s%N)
    watches=$(cat /proc/"$(pgrep -P $pid || echo $pid)"/fdinfo/* /proc/$pid/fdinfo/* 2>/dev/null |
        grep -c '^inotify wd:' || true)
    kill -TERM $pid; wait $pid || true
    echo "$(( (end - start) / 1000000 )) ms, $watches watches"
}
for round in 1 2 3; do
    echo "round $round"
    echo "  without them:            $(measure "$work/without")"
    echo "  with them, --exclude:    $(measure --exclude node_modules/ --exclude build/ "$work/with")"
    echo "  with them, --gitignore:  $(measure --gitignore "$work/with")"
    echo "  with them, no patterns:  $(measure "$work/with")"
done
