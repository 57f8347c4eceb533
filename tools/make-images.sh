#!/usr/bin/env bash
# Renders the program's pictures from their SVG sources in res/.
#
#   make-images.sh png   OUT   PNGs for the Qt front end and the desktop icon theme
#   make-images.sh win32 OUT   ICO and BMP files for the Windows resources
#
# Needs rsvg-convert (librsvg2-bin); win32 also needs icotool (icoutils) and convert
# (imagemagick). The banner's text is set in WenQuanYi Micro Hei and DejaVu Sans.
set -euo pipefail

res=$(cd "$(dirname "$0")/../res" && pwd)
mode=${1:-}
out=${2:-}
if [[ -z "$mode" || -z "$out" ]]; then
  echo "usage: $0 png|win32 OUT_DIR" >&2
  exit 2
fi
mkdir -p "$out"

# Icon sizes of the freedesktop hicolor theme. Below 32 pixels the whole owl turns to mush, so
# those sizes come from a drawing of its face alone.
hicolor_sizes=(16 22 24 32 48 64 128 256)
small_limit=24

need() {
  command -v "$1" >/dev/null || { echo "$0: $1 is missing (install $2)" >&2; exit 1; }
}

# rsvg-convert silently substitutes a missing font, which would ship a banner in the wrong
# face; refuse instead.
need_font() {
  [[ -n "$(fc-list ":family=$1" family 2>/dev/null)" ]] ||
    { echo "$0: font \"$1\" is missing (install $2)" >&2; exit 1; }
}

render() {  # svg width height png
  rsvg-convert --width "$2" --height "$3" --output "$4.$$.tmp" "$1"
  mv -f "$4.$$.tmp" "$4"
}

app_icon_source() {  # size
  if (( $1 <= small_limit )); then echo "$res/qzxfile-small.svg"; else echo "$res/qzxfile.svg"; fi
}

make_png() {
  need rsvg-convert librsvg2-bin
  need fc-list fontconfig
  need_font "WenQuanYi Micro Hei" fonts-wqy-microhei
  need_font "DejaVu Sans" fonts-dejavu-core
  for n in "${hicolor_sizes[@]}"; do
    render "$(app_icon_source "$n")" "$n" "$n" "$out/qzxfile-$n.png"
  done
  render "$res/qzxfile.svg" 256 256 "$out/icon129.png"
  render "$res/about.svg" 64 64 "$out/icon128.png"
  # 1x is the template size at 1.5 pixels per dialog unit; @2x is for high-density screens.
  render "$res/logo.svg" 42 48 "$out/logo130.png"
  render "$res/logo.svg" 84 96 "$out/logo130@2x.png"
  render "$res/banner.svg" 390 32 "$out/banner133.png"
  render "$res/banner.svg" 780 64 "$out/banner133@2x.png"
}

# A Windows icon carries its own sizes; the 256 one is stored as PNG as Windows expects.
make_ico() {  # small-svg large-svg ico
  local tmp
  tmp=$(mktemp -d)
  for n in 16 24; do render "$1" "$n" "$n" "$tmp/$n.png"; done
  for n in 32 48 256; do render "$2" "$n" "$n" "$tmp/$n.png"; done
  icotool --create --output "$3.tmp" "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" \
    --raw="$tmp/256.png"
  mv -f "$3.tmp" "$3"
  rm -rf "$tmp"
}

# Static bitmap controls draw no transparency, so the pictures go on the dialog face colour.
make_bmp() {  # svg width height bmp
  local tmp
  tmp=$(mktemp --suffix=.png)
  render "$1" "$2" "$3" "$tmp"
  convert "$tmp" -background "#f0f0f0" -flatten -type TrueColor "BMP3:$4.tmp"
  mv -f "$4.tmp" "$4"
  rm -f "$tmp"
}

make_win32() {
  need rsvg-convert librsvg2-bin
  need icotool icoutils
  need convert imagemagick
  need fc-list fontconfig
  need_font "WenQuanYi Micro Hei" fonts-wqy-microhei
  need_font "DejaVu Sans" fonts-dejavu-core
  make_ico "$res/qzxfile-small.svg" "$res/qzxfile.svg" "$out/icon129.ico"
  make_ico "$res/about.svg" "$res/about.svg" "$out/icon128.ico"
  make_bmp "$res/logo.svg" 42 48 "$out/logo130.bmp"
  make_bmp "$res/banner.svg" 390 32 "$out/banner133.bmp"
  make_bmp "$res/logo.svg" 84 96 "$out/logo130@2x.bmp"
  make_bmp "$res/banner.svg" 780 64 "$out/banner133@2x.bmp"
}

case "$mode" in
  png) make_png ;;
  win32) make_win32 ;;
  *) echo "$0: unknown mode $mode" >&2; exit 2 ;;
esac
