#!/usr/bin/env bash
# The packages through piuparts, as Debian tests every package of its archive:
#   - qzxwatch alone, as a server gets it: installed, removed, installed again, purged, and
#     nothing left behind that the package made;
#   - both packages, installed and purged, then installed over the previous build (the one
#     package qzxfile 1.2.0-1 that held both programs, from a repository of its own) and
#     purged again.
# Each run starts from a fresh copy of a base: the clean Debian 12 root of MakeCleanRoot.sh
# (kept in CACHE_DIR) with the packages' dependencies already installed, from the packages
# the other tests downloaded into CACHE_DIR: piuparts would otherwise fetch Qt and systemd
# four times over. That the dependencies are enough is CleanRootTest.sh's to show.
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

work=$(mktemp -d "$cache/piuparts.XXXXXX")
trap 'rm -rf "$work"' EXIT
started=$SECONDS
base="$work/base"
mkdir "$base"
tar -C "$base" -xf "$cache/bookworm-minbase.tar"
bash "$here/CopyAptSources.sh" "$base"
mkdir -p "$cache/apt-archives/partial"
depends="$(dpkg-deb -f "$watch_deb" Depends), $(dpkg-deb -f "$window_deb" Depends)"
if ! unshare --mount --propagation private sh -c '
  mount -t proc proc "$1/proc" &&
  mount --bind "$2" "$1/var/cache/apt/archives" &&
  chroot "$1" env DEBIAN_FRONTEND=noninteractive PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c "
    apt-get update -q && apt-get satisfy -y -q --no-install-recommends \"\$0\"" "$3"' \
  sh "$base" "$cache/apt-archives" "$depends" >"$work/base.log" 2>&1; then
  tail -n 20 "$work/base.log"
  skip "the dependencies could not be installed from the mirror into the base"
fi
# piuparts writes its own sources; the lists of these would only be stale.
rm -f "$base"/etc/apt/sources.list.d/* "$base/etc/resolv.conf"
rm -rf "$base"/var/lib/apt/lists/*
echo "base with the dependencies made in $((SECONDS - started)) s"
ls "$previous"/qzxfile_*.deb >/dev/null || { echo "FAIL: no previous build in $previous" >&2; exit 1; }
# The previous build as the archive would offer it: a flat repository apt trusts.
(cd "$previous" && dpkg-scanpackages --multiversion . /dev/null 2>/dev/null >Packages)
failed=0
run() {  # what piuparts-argument...
  local what=$1 started=$SECONDS
  shift
  echo "== piuparts: $what"
  # systemd, which qzxwatch depends on, makes these folders with its tmpfiles when it is
  # installed, and its purge leaves them: they are systemd's, not the packages'.
  # The base as a folder, which piuparts copies: packing it for --basetgz took minutes.
  if piuparts --existing-chroot="$base" --mirror="$mirror main" --distribution=bookworm \
    --tmpdir="$work" --log-level=info --log-file="$work/log" \
    --ignore-regex='^/(root/\.ssh|var/(cache|lib|log)/private|var/lib/systemd/(coredump|pstore))/$' \
    "$@" >/dev/null 2>&1; then
    grep -E 'PASS:|apt-cache knows' "$work/log" | sed -E 's/^[0-9ms.]+ INFO: /  /' || true
    echo "ok: $what, in $((SECONDS - started)) s"
  else
    # A failure's lines, with what follows each (the files it found, the commands' output).
    grep -E -A 12 'FAIL|ERROR: Command failed|E: |dpkg: error' "$work/log" | tail -n 60 >&2 ||
      tail -n 60 "$work/log" >&2
    echo "FAIL: piuparts: $what" >&2
    failed=1
  fi
  rm -f "$work/log"
}
run "qzxwatch alone: install, remove, install again, purge" \
  --no-upgrade-test --install-remove-install "$watch_deb"
run "qzxwatch and qzxfile: install and purge; upgrade from $(basename "$previous"/qzxfile_*.deb)" \
  --bindmount="$previous" --extra-repo="deb [trusted=yes] file://$previous ./" \
  "$watch_deb" "$window_deb"
exit $failed
