#!/usr/bin/env bash
# The files handed out: tools/package.sh makes them into dist/, then the tests of its build
# (build-package/) check them: the version wherever it is written, both packages under
# lintian --pedantic and mandoc, installed on a clean Debian 12 root (made once and kept in
# build-package/clean-root/), through piuparts, and booted with the service running; the
# static libraries against the notices; the zip unpacked and its programs' twins run under
# Wine. Arguments go to ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/package.sh"
cd "${QZX_PACKAGE_BUILD_DIR:-$top/build-package}"
ctest --output-on-failure -j 2 "$@"
