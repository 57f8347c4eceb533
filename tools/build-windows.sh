#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 into build-windows/ (or $QZX_WINDOWS_BUILD_DIR):
#   i686/    the program that is handed out, QzxFile.exe and every other WIN32 target
#   x86_64/  the same sources for 64-bit Windows, which the tests run under wine64
#   host/    for the build machine: qzx_scramble, which both cross builds run, and the
#            loopback server of the Windows HTTP tests
# Arguments go to cmake --build of both cross builds (for example -t records_win32).
# QZX_WINDOWS_BENCH=ON adds the window's benchmark to the 64-bit build (tools/bench-win32.sh).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}
jobs=${QZX_JOBS:-$(nproc)}
"$top/tools/setup-debian.sh"

# shellcheck source=tools/ccache-env.sh
source "$top/tools/ccache-env.sh"
qzx_ccache_options "$top"

# The service strings are scrambled at build time by a tool that must run here.
cmake -S "$top" -B "$out/host" -DCMAKE_BUILD_TYPE=Release -DQZX_BUILD_GUI=OFF \
  -DQZX_BUILD_TESTS=ON -DQZX_BUILD_BENCH=OFF "${qzx_ccache[@]}" >/dev/null
cmake --build "$out/host" -j "$jobs" -t qzx_scramble

for arch in i686 x86_64; do
  bench=OFF
  [[ "$arch" == x86_64 ]] && bench=${QZX_WINDOWS_BENCH:-OFF}
  cmake -S "$top" -B "$out/$arch" \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQZX_BUILD_GUI=OFF -DQZX_BUILD_BENCH="$bench" \
    -DQZX_HOST_SCRAMBLE="$out/host/tools/qzx_scramble" "${qzx_ccache[@]}" >/dev/null
  cmake --build "$out/$arch" -j "$jobs" "$@"
done

# The program needs nothing beside it but system DLLs.
exe=$(find "$out/i686" -name QzxFile.exe -print -quit)
if [[ -n "$exe" ]]; then
  if i686-w64-mingw32-objdump -p "$exe" | grep -i 'DLL Name' | grep -iE 'libstdc|libgcc|libwinpthread'; then
    echo "error: $exe needs a MinGW DLL beside it" >&2
    exit 1
  fi
  echo "Windows program: $exe"
fi
companion=$(find "$out/i686" -name qzxwatch.exe -print -quit)
if [[ -n "$companion" ]]; then echo "Headless companion: $companion"; fi
