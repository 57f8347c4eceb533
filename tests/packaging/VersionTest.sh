#!/usr/bin/env bash
# The version is written once, in the top CMakeLists, and everything that names it agrees:
# the Windows version block and manifest, qzxwatch --version, the manual pages, the AppStream
# release, the package's version and change log, the README's file names and, when DIST is
# given, the names of the files made there and their checksums.
#   VersionTest.sh SOURCE_DIR BUILD_DIR [DIST_DIR]
set -euo pipefail
src=$1
build=$2
dist=${3:-}

version=$(sed -nE 's/^project\(QzxFile VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )].*/\1/p' "$src/CMakeLists.txt")
[[ -n "$version" ]] || { echo "no version in $src/CMakeLists.txt" >&2; exit 1; }
IFS=. read -r major minor patch <<<"$version"
revision=$(sed -nE 's/^set\(QZX_DEB_REVISION ([0-9]+)\)/\1/p' "$src/res/version.cmake")
deb_version="$version-$revision"
arch=$(dpkg --print-architecture)

failed=0
agree() {  # what expected found
  if [[ "$2" == "$3" ]]; then
    echo "ok: $1 $3"
  else
    echo "differs: $1: '$3', expected '$2'" >&2
    failed=1
  fi
}
first() { grep -m1 -oE "$1" "$2" 2>/dev/null || true; }

agree "version block" "#define QZX_VER_NUMBERS $major,$minor,$patch,0" \
  "$(first '^#define QZX_VER_NUMBERS [0-9,]+' "$build/res/version.h")"
agree "manifest" "version=\"$version.0\"" \
  "$(first 'version="[0-9.]+" processorArchitecture' "$build/res/QzxFile.manifest" | cut -d' ' -f1)"
agree "qzxwatch --version" "qzxwatch $version" "$("$build/app/cli/qzxwatch" --version)"
agree "qzxwatch(1)" "\"QzxFile $version\"" "$(zcat "$build/app/cli/qzxwatch.1.gz" | sed -nE '1s/^\.TH [^"]*"[^"]*" ("[^"]*").*/\1/p')"
if [[ -f "$build/app/qt/qzxfile.1.gz" ]]; then
  agree "qzxfile(1)" "\"QzxFile $version\"" "$(zcat "$build/app/qt/qzxfile.1.gz" | sed -nE '1s/^\.TH [^"]*"[^"]*" ("[^"]*").*/\1/p')"
fi
agree "AppStream release" "<release version=\"$version\"" \
  "$(first '<release version="[^"]*"' "$(ls "$build"/res/*.metainfo.xml)")"
agree "CPack version" "set(CPACK_PACKAGE_VERSION \"$version\")" \
  "$(first '^set\(CPACK_PACKAGE_VERSION "[^"]*"\)' "$build/CPackConfig.cmake")"
agree "package change log" "qzxfile ($deb_version)" \
  "$(first '^qzxfile \([^)]*\)' "$build/packaging/changelog.Debian")"
for package in qzxwatch qzxfile; do
  agree "README's $package package" "${package}_${deb_version}_amd64.deb" \
    "$(first "${package}_[0-9.]+-[0-9]+_amd64\\.deb" "$src/README.md")"
done
agree "README's zip" "QzxFile-$version-win32.zip" "$(first 'QzxFile-[0-9.]+-win32\.zip' "$src/README.md")"

if [[ -n "$dist" ]]; then
  debs=("$dist/qzxfile_${deb_version}_${arch}.deb" "$dist/qzxwatch_${deb_version}_${arch}.deb")
  zip="$dist/QzxFile-$version-win32.zip"
  agree "files made" \
    "$(printf '%s\n' "${debs[@]##*/}" "$(basename "$zip")" SHA256SUMS | sort | xargs)" \
    "$(cd "$dist" && ls -A | sort | xargs)"
  for deb in "${debs[@]}"; do
    if [[ -f "$deb" ]]; then
      agree "version of $(basename "$deb")" "$deb_version" "$(dpkg-deb -f "$deb" Version)"
    fi
  done
  if (cd "$dist" && sha256sum --quiet -c SHA256SUMS); then
    echo "ok: SHA256SUMS"
  else
    echo "differs: SHA256SUMS does not match the files" >&2
    failed=1
  fi
fi
exit $failed
