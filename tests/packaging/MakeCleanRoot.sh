#!/usr/bin/env bash
# Makes the clean Debian 12 root of the package tests once: debootstrap's minimal root from the
# Debian mirror this machine's apt uses, kept as CACHE_DIR/bookworm-minbase.tar; the mirror's
# address is kept beside it, in CACHE_DIR/mirror. Several
# callers may run at once; the later ones wait for the first and find its root.
#   MakeCleanRoot.sh CACHE_DIR
# Exits 0 when the root is there, 77 with the reason when this machine cannot make it.
set -euo pipefail
cache=$1
skip() {
  echo "SKIPPED: $*"
  exit 77
}

[[ $(id -u) == 0 ]] || skip "making and entering a Debian root needs root (debootstrap, chroot, mount)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (tools/packages-debian.txt has it)"
# A mount namespace of its own keeps the mounts of debootstrap, and later /proc of the root,
# from ever showing on this machine, and takes them away however the run ends.
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
echo "$mirror" >"$cache/mirror"
tarball="$cache/bookworm-minbase.tar"
exec 9>"$cache/.lock"
flock 9
if [[ ! -s "$tarball" ]]; then
  made="$cache/debootstrap"
  rm -rf "$made"
  echo "making a minimal Debian 12 root from $mirror (kept in $tarball)"
  started=$SECONDS
  if ! unshare --mount --propagation private debootstrap --variant=minbase bookworm "$made" \
    "$mirror" >"$cache/debootstrap.log" 2>&1; then
    tail -n 20 "$cache/debootstrap.log"
    rm -rf "$made"
    skip "debootstrap could not make a Debian 12 root from $mirror (its log ends above)"
  fi
  rm -f "$made"/var/cache/apt/archives/*.deb
  tar -C "$made" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  rm -rf "$made"
  echo "root made in $((SECONDS - started)) s"
fi

