#!/usr/bin/env bash
# The Debian package installed as a user installs it, on a clean Debian 12 root rather than on
# the build machine: a minimal root made by debootstrap from this machine's own Debian mirror
# (kept as a tarball in CACHE_DIR, so a rerun starts from the same clean root in seconds), and
# inside it, through chroot with /proc mounted, the steps of CleanRootSteps.sh: apt-get
# installs the package with every dependency, the programs run, and apt-get purge takes every
# file away again.
#   CleanRootTest.sh PACKAGE.deb CACHE_DIR VERSION
# Exits 77 (skipped, as ctest reports it) with the reason when this machine cannot make or
# enter such a root.
set -euo pipefail
deb=$(readlink -f "$1")
cache=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "SKIPPED: $*"
  exit 77
}

[[ $(id -u) == 0 ]] || skip "making and entering a Debian root needs root (debootstrap, chroot, mount)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (tools/packages-debian.txt has it)"
# A mount namespace of its own keeps /proc of the root from ever showing on this machine, and
# takes it away when the test ends, however it ends.
unshare --mount --propagation private true 2>/dev/null ||
  skip "this machine does not allow a mount namespace (unshare --mount)"

# The mirror apt uses here, from the one-line or the deb822 form of the sources.
host_mirror() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] && awk '$1 == "deb" && $0 ~ /[ \t]bookworm[ \t]/ && $0 !~ /security/ {
      for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] && awk 'tolower($1) == "uris:" && $2 !~ /security/ { print $2; exit }' "$f"
  done
  return 0
}
mirror=$(host_mirror | head -n1)
[[ -n "$mirror" ]] || skip "no Debian mirror found in /etc/apt/sources.list*"

mkdir -p "$cache"
tarball="$cache/bookworm-minbase.tar"
if [[ ! -s "$tarball" ]]; then
  made="$cache/debootstrap"
  rm -rf "$made"
  echo "making a minimal Debian 12 root from $mirror (kept in $tarball)"
  started=$SECONDS
  if ! debootstrap --variant=minbase bookworm "$made" "$mirror" >"$cache/debootstrap.log" 2>&1; then
    tail -n 20 "$cache/debootstrap.log"
    rm -rf "$made"
    skip "debootstrap could not make a Debian 12 root from $mirror (its log ends above)"
  fi
  rm -f "$made"/var/cache/apt/archives/*.deb
  tar -C "$made" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  rm -rf "$made"
  echo "root made in $((SECONDS - started)) s"
fi

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
# apt in the root reads the same sources as apt here, with their keys.
cp /etc/resolv.conf "$root/etc/resolv.conf"
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [[ -f "$f" ]] || continue
  cp "$f" "$root$f"
  for key in $(grep -ohiE '(signed-by:|signed-by=)[ ]*/[^] ]+' "$f" | sed -E 's/^[^/]*//'); do
    if [[ -f "$key" && ! -e "$root$key" ]]; then
      mkdir -p "$(dirname "$root$key")"
      cp "$key" "$root$key"
    fi
  done
done
# Downloaded packages are kept beside the cached root: a rerun fetches nothing twice.
mkdir -p "$cache/apt-archives/partial"
cp "$deb" "$root/tmp/"
cp "$here/CleanRootSteps.sh" "$root/tmp/steps.sh"

unshare --mount --propagation private sh -c '
  mount -t proc proc "$1/proc" &&
  mount --bind "$2" "$1/var/cache/apt/archives" &&
  exec chroot "$1" /bin/bash /tmp/steps.sh "$3" "$4"' \
  sh "$root" "$cache/apt-archives" "/tmp/$(basename "$deb")" "$version"
