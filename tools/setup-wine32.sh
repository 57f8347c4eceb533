#!/usr/bin/env bash
# Makes Wine's 32-bit side work on an amd64 Debian 12, so that the i686 program (the one that is
# handed out) can be tested, not only the x86_64 build of the same sources.
#
# A kernel that runs 32-bit x86 programs needs nothing here when a 32-bit Wine loader already
# works. Many kernels answer "Exec format error" instead: then every i386 ELF program goes
# through qemu-i386 (user-mode emulation, registered with binfmt_misc), and Wine's 32-bit half
# (wine32 and libwine, at the installed wine64's exact version) lives in an i386 root of its own
# that qemu lays over /. No dpkg multiarch: the i386 packages are fetched with a private apt
# configuration (the signed Debian indexes, hashes checked) and unpacked into that root, so
# nothing of amd64 has to be upgraded to match them.
#
#   tools/setup-wine32.sh          everything; a second run only checks (and re-registers qemu
#                                  after a boot, which forgets binfmt_misc entries)
#   tools/setup-wine32.sh check    exit 0 when the 32-bit loader runs, changing nothing
#
# Installed: qemu-user >= 9 from bookworm-backports (bookworm's 7.2 spends about a minute of
# CPU in every Wine process), the i386 root in $QZX_WINE32_ROOT (/opt/qzx-wine32/root), the
# links /usr/gnemul/qemu-i386 (qemu's compiled-in prefix) and /usr/lib/wine/wine (where wine64
# and Debian's wine wrapper look for the 32-bit loader).
set -euo pipefail
root=${QZX_WINE32_ROOT:-/opt/qzx-wine32/root}
qemu=/usr/bin/qemu-i386
loader=/usr/lib/wine/wine
export DEBIAN_FRONTEND=noninteractive

loader_runs() { [[ -x "$loader" ]] && "$loader" --version >/dev/null 2>&1; }

if [[ "${1:-}" == check ]]; then loader_runs && exit 0 || exit 1; fi
if loader_runs; then exit 0; fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
wine_version=$(dpkg-query -W -f='${Version}' wine64)

register_binfmt() {
  if ! mountpoint -q /proc/sys/fs/binfmt_misc; then
    $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
    # i386 ELF executables and PIEs. O and C: qemu gets the opened file and its credentials;
    # F: qemu itself is opened now, so it is found from any mount namespace or chroot.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':OCF' |
      $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
}

work=""
cleanup() { if [[ -n "$work" ]]; then $sudo rm -rf "$work"; fi; }
trap cleanup EXIT

# The machine's own configured mirror for the archive or for security (one-line or deb822 form).
mirror_of() { # archive|security
  local want=$1
  { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } |
    awk -v want="$want" '
      function pick(uri, suites) {
        if (uri == "" || suites == "") return 0
        sec = (suites ~ /-security/)
        if ((want == "security") == sec) { print uri; return 1 }
        return 0
      }
      /^deb / { u = ""; s = ""; for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/ && u == "") u = $i; else if (u != "" && s == "") s = $i
                if (pick(u, s)) exit; next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { if (pick(uri, $0)) exit }
    ' | head -n 1
}

# A private apt: its own sources, lists, cache and an empty dpkg status.
private_apt() { # ARCH SUITES...
  local arch=$1 suite url
  shift
  $sudo rm -rf "$work/apt"
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts"
  : >"$work/apt/status"
  : >"$work/apt/sources.list"
  for suite in "$@"; do
    case $suite in
      *-security) url=$(mirror_of security) ;;
      *) url=$(mirror_of archive) ;;
    esac
    url=${url:-http://deb.debian.org/debian}
    echo "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $url $suite main" \
      >>"$work/apt/sources.list"
  done
  cat >"$work/apt/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
Dir::Etc::sourcelist "$work/apt/sources.list";
Dir::Etc::sourceparts "$work/apt/parts";
Dir::State::status "$work/apt/status";
Dir::State::Lists "$work/apt/lists";
Dir::State::extended_states "$work/apt/extended_states";
Dir::Cache "$work/apt/cache";
APT::Install-Recommends "false";
APT::Sandbox::User "root";
EOF
  # An index that fails its size check (bookworm-security's i386 one can) leaves the others
  # usable; the packages then come from the point release.
  $sudo env APT_CONFIG="$work/apt/apt.conf" apt-get update -q || true
}

work=$(mktemp -d "${TMPDIR:-/tmp}/qzx-wine32-apt.XXXXXX")

# 1. qemu-user from bookworm-backports (static binaries, nothing else pulled in).
if ! "$qemu" --version 2>/dev/null | grep -q 'version \(9\|[1-9][0-9]\)\.'; then
  private_apt amd64 bookworm-backports
  $sudo env APT_CONFIG="$work/apt/apt.conf" apt-get install -y -q --download-only qemu-user
  $sudo apt-get install -y -q --no-install-recommends "$work"/apt/cache/archives/qemu-user_*.deb
fi
register_binfmt

# 2. The i386 root, made once per wine64 version: its stamp says which one it holds.
if [[ "$(cat "$root/.wine-version" 2>/dev/null)" != "$wine_version" ]]; then
  private_apt i386 bookworm bookworm-updates bookworm-security
  $sudo env APT_CONFIG="$work/apt/apt.conf" apt-get install -y -q --download-only \
    "wine32=$wine_version" "libwine=$wine_version" \
    libxrender1 libxext6 libxi6 libxrandr2 libxcursor1 libxinerama1 libxcomposite1 \
    libxfixes3 libxxf86vm1 libfreetype6 libfontconfig1
  staging=$root.new
  $sudo rm -rf "$staging"
  $sudo mkdir -p "$staging"
  for deb in "$work"/apt/cache/archives/*.deb; do $sudo dpkg-deb -x "$deb" "$staging"; done
  # What libwine's post-install does: zlib1.dll from libz-mingw-w64, marked as a Wine builtin
  # (without it user32.dll does not load).
  for mingw_arch in i686 x86_64; do
    wine_arch=$mingw_arch
    [[ "$mingw_arch" == i686 ]] && wine_arch=i386
    in=$staging/usr/$mingw_arch-w64-mingw32/lib/zlib1.dll
    out=$staging/usr/lib/i386-linux-gnu/wine/$wine_arch-windows/zlib1.dll
    [[ -f "$in" && -d "$(dirname "$out")" ]] || continue
    { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } |
      $sudo tee "$out" >/dev/null
  done
  # Its own ld.so.cache, so the i386 programs never pick libraries from the host's /lib32.
  echo 'include /etc/ld.so.conf.d/*.conf' | $sudo tee "$staging/etc/ld.so.conf" >/dev/null
  $sudo ldconfig -r "$staging"
  # The 32-bit loader starts 64-bit programs through the wine64 beside it.
  $sudo ln -sfn /usr/lib/wine/wine64 "$staging/usr/lib/wine/wine64"
  echo "$wine_version" | $sudo tee "$staging/.wine-version" >/dev/null
  $sudo rm -rf "$root"
  $sudo mv "$staging" "$root"
fi

# 3. qemu-i386 looks every path up under its prefix first, then under /.
$sudo mkdir -p /usr/gnemul
$sudo ln -sfn "$root" /usr/gnemul/qemu-i386
$sudo ln -sfn "$root/usr/lib/wine/wine" "$loader"

if ! loader_runs; then
  echo "error: the 32-bit Wine loader $loader does not run" >&2
  exit 1
fi
echo "32-bit Wine: $("$loader" --version)"
