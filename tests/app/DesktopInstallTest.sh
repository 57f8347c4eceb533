#!/usr/bin/env bash
# Installs the desktop component into a scratch root and checks that a desktop session would
# find, accept and show it: the entry and the metadata pass their validators, and every icon
# size is where the icon theme looks.
#   DesktopInstallTest.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --component desktop --prefix /usr >/dev/null
share="$root/usr/share"

missing=0
expect() {
  if [[ ! -s "$1" ]]; then
    echo "missing: ${1#"$root"}" >&2
    missing=1
  fi
}
expect "$share/applications/$id.desktop"
expect "$share/metainfo/$id.metainfo.xml"
for n in 16 22 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${n}x${n}/apps/qzxfile.png"
  expect "$png"
  # A wrong size would be scaled by the theme and look blurred; catch a mix-up of sizes.
  if [[ -s "$png" ]]; then
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [[ "$size" == "${n}x${n}" ]] || { echo "$png is $size" >&2; missing=1; }
  fi
done
expect "$share/icons/hicolor/scalable/apps/qzxfile.svg"
((missing == 0)) || exit 1

desktop-file-validate "$share/applications/$id.desktop"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"
echo "desktop files of $id valid"
