#!/usr/bin/env bash
# Makes the files that are handed out, into dist/ (or $QZX_DIST_DIR):
#   qzxwatch_<version>-<revision>_<arch>.deb  the companion and its service, without Qt
#   qzxfile_<version>-<revision>_<arch>.deb   the window; both from build-package/
#   QzxFile-<version>-win32.zip                the 32-bit Windows programs, from build-windows/
#   SHA256SUMS                                 the checksums of all three
# build-package/ ($QZX_PACKAGE_BUILD_DIR) is a Linux build installed to /usr with Debian's
# flags for packages; build-windows/ ($QZX_WINDOWS_BUILD_DIR) is tools/build-windows.sh's.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QZX_PACKAGE_BUILD_DIR:-$top/build-package}
windows=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}
dist=${QZX_DIST_DIR:-$top/dist}
jobs=${QZX_JOBS:-$(nproc)}
"$top/tools/setup-debian.sh"

# Debian's flags for packages with all of its hardening (fortify, stack protector, relro,
# bind now), as Debian's own tools would build it; debug paths are relative to the top.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(cd "$top" && dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DQZX_BUILD_TESTS=OFF -DQZX_BUILD_BENCH=OFF -DQZX_PACKAGE_TESTS=ON \
  -DQZX_DIST_DIR="$dist" -DQZX_WINDOWS_BUILD_DIR="$windows" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
rm -rf "$build/packages" "$build/previous"
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/packages/*.deb)
# The previous build, which the package tests upgrade from, made again from this build in its
# layout: 1.2.0-1 was one package, qzxfile, with every file, and the maintainer scripts kept
# in tests/packaging/previous/.
previous_scripts="$top/tests/packaging/previous"
(cd "$build" && cpack -G DEB -B "$build/previous" \
  -D CPACK_COMPONENTS_GROUPING=ALL_COMPONENTS_IN_ONE \
  -D CPACK_DEBIAN_PACKAGE_RELEASE=1 -D CPACK_DEBIAN_PACKAGE_DEPENDS= \
  -D "CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA=$previous_scripts/postinst;$previous_scripts/prerm;$previous_scripts/postrm" \
  >/dev/null)
rm -rf "$build/previous/_CPack_Packages"

# The 32-bit programs are the ones handed out; the tests run their 64-bit twins.
QZX_WINDOWS_BUILD_DIR="$windows" "$top/tools/build-windows.sh" -t QzxFile -t qzxwatch >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip_name="QzxFile-$version-win32"
staging="$windows/i686/zip"
rm -rf "$staging"
cmake --install "$windows/i686" --prefix "$staging/$zip_name" >/dev/null
zip="$staging/$zip_name.zip"
(cd "$staging" && cmake -E tar cf "$zip_name.zip" --format=zip "$zip_name")

rm -rf "$dist"
mkdir -p "$dist"
cp "${debs[@]}" "$zip" "$dist/"
(cd "$dist" && sha256sum -- *.deb *.zip >SHA256SUMS)
ls -l "$dist"
