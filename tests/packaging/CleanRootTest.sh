#!/usr/bin/env bash
# The Debian packages installed as a user installs them, on a clean Debian 12 root rather than on
# the build machine: a fresh copy of the minimal root of MakeCleanRoot.sh (made once, kept in
# CACHE_DIR), and inside it, through chroot with /proc mounted, the steps of
# CleanRootSteps.sh: apt-get installs the package with every dependency, the programs run, and
# apt-get purge takes every file away again.
#   CleanRootTest.sh PACKAGE.deb CACHE_DIR VERSION
# Exits 77 (skipped, as ctest reports it) with the reason when this machine cannot make or
# enter such a root.
set -euo pipefail
watch_deb=$(readlink -f "$1")
window_deb=$(readlink -f "$2")
cache=$3
version=$4
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "SKIPPED: $*"
  exit 77
}

# The clean root, made once into CACHE_DIR (tools/test.sh starts making it while the earlier
# steps build; this waits for that).
code=0
made=$(bash "$here/MakeCleanRoot.sh" "$cache") || code=$?
echo "$made"
((code != 77)) || exit 77
((code == 0)) || { echo "FAIL: the clean root could not be made" >&2; exit 1; }
tarball="$cache/bookworm-minbase.tar"

work=$(mktemp -d "$cache/run.XXXXXX")
root="$work/root"
cleanup() {
  # A program of the steps still running in the root (after a failure) ends with the test.
  local p
  for p in /proc/[0-9]*; do
    [[ "$(readlink "$p/root" 2>/dev/null)" == "$root" ]] && kill -KILL "${p#/proc/}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$root"
tar -C "$root" -xf "$tarball"
bash "$here/CopyAptSources.sh" "$root"
# Downloaded packages are kept beside the cached root: a rerun fetches nothing twice.
mkdir -p "$cache/apt-archives/partial"
cp "$watch_deb" "$window_deb" "$root/tmp/"
cp "$here/CleanRootSteps.sh" "$root/tmp/steps.sh"

unshare --mount --propagation private sh -c '
  mount -t proc proc "$1/proc" &&
  mount --bind "$2" "$1/var/cache/apt/archives" &&
  exec chroot "$1" /bin/bash /tmp/steps.sh "$3" "$4" "$5"' \
  sh "$root" "$cache/apt-archives" "/tmp/$(basename "$watch_deb")" "/tmp/$(basename "$window_deb")" \
  "$version"
