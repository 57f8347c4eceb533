#!/usr/bin/env bash
# The packages through piuparts, as Debian tests every package of its archive, each run in a
# fresh copy of the clean Debian 12 root of MakeCleanRoot.sh (kept in CACHE_DIR):
#   - qzxwatch alone, as a server gets it: installed, removed, purged, reinstalled, and nothing
#     left behind that the package made;
#   - both packages, installed and purged, then installed over the previous build (the one
#     package qzxfile 1.2.0-1 that held both programs, from a repository of its own) and
#     purged again.
#   PiupartsTest.sh DIST_DIR PREVIOUS_DIR CACHE_DIR DEB_VERSION
# Exits 77 with the reason when this machine cannot run piuparts.
set -euo pipefail
dist=$(readlink -f "$1")
previous=$(readlink -f "$2")
cache=$(readlink -f "$3")
version=$4
here=$(cd "$(dirname "$0")" && pwd)
arch=$(dpkg --print-architecture)
watch_deb="$dist/qzxwatch_${version}_${arch}.deb"
window_deb="$dist/qzxfile_${version}_${arch}.deb"
skip() {
  echo "SKIPPED: $*"
  exit 77
}
command -v piuparts >/dev/null || skip "piuparts is not installed (tools/packages-debian.txt has it)"
code=0
made=$(bash "$here/MakeCleanRoot.sh" "$cache") || code=$?
echo "$made"
((code != 77)) || exit 77
((code == 0)) || { echo "FAIL: the clean root could not be made" >&2; exit 1; }
mirror=$(cat "$cache/mirror")
# piuparts unpacks its base with tar -z.
base="$cache/bookworm-minbase.tgz"
if [[ ! -s "$base" || "$base" -ot "$cache/bookworm-minbase.tar" ]]; then
  gzip -1c "$cache/bookworm-minbase.tar" >"$base.part" && mv "$base.part" "$base"
fi
ls "$previous"/qzxfile_*.deb >/dev/null || { echo "FAIL: no previous build in $previous" >&2; exit 1; }
# The previous build as the archive would offer it: a flat repository apt trusts.
(cd "$previous" && dpkg-scanpackages --multiversion . /dev/null 2>/dev/null >Packages)

work=$(mktemp -d "$cache/piuparts.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
run() {  # what piuparts-argument...
  local what=$1 started=$SECONDS
  shift
  echo "== piuparts: $what"
  if piuparts --basetgz="$base" --mirror="$mirror main" --distribution=bookworm \
    --tmpdir="$work" --log-level=info --log-file="$work/log" "$@" >/dev/null 2>&1; then
    grep -E '^[0-9:]+ (PASS|INFO: (PASS|Package .* (installed|purged)))' "$work/log" | sed 's/^/  /' || true
    echo "ok: $what, in $((SECONDS - started)) s"
  else
    grep -E 'FAIL|ERROR|WARN|E: |dpkg: ' "$work/log" | tail -n 40 >&2 || tail -n 60 "$work/log" >&2
    echo "FAIL: piuparts: $what" >&2
    failed=1
  fi
  rm -f "$work/log"
}
run "qzxwatch alone: install, remove, purge, install again" \
  --no-upgrade-test --install-remove-install "$watch_deb"
run "qzxwatch and qzxfile: install and purge; upgrade from $(basename "$previous"/qzxfile_*.deb)" \
  --bindmount="$previous" --extra-repo="deb [trusted=yes] file://$previous ./" \
  "$watch_deb" "$window_deb"
exit $failed
