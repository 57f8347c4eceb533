#!/usr/bin/env bash
# Builds the Windows program and runs its tests under Wine: the core tests and the Windows
# platform tests (folder watching, files, the log folder, GBK, HTTP against the loopback server
# of the Linux tests). Uses a throwaway Wine prefix made once for the run.
# The 64-bit build runs under wine64, the 32-bit one under Wine's 32-bit side (set up by
# tools/setup-wine32.sh; a failure there fails the run).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}
began=$(date +%s)

"$top/tools/build-windows.sh"
cmake --build "$out/host" -t qzx_loopback_server >/dev/null
built=$(date +%s)

export WINEDEBUG=-all
# No Mono or Gecko download prompts in a fresh prefix.
export WINEDLLOVERRIDES='mscoree,mshtml='
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/qzx-wine-XXXXXX")
export WINEPREFIX
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then
    # Closing its input ends the server; it releases any request still held open first.
    if [[ -n "${SERVER[1]:-}" ]]; then eval "exec ${SERVER[1]}>&-"; fi
    wait "$server_pid" 2>/dev/null || true
  fi
  # Only this run's prefix: its wineserver, then its files.
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# Wine's 32-bit side is set up before the prefix is made: a prefix made without it has no
# 32-bit system folder, and every 32-bit program fails in it ("could not load kernel32.dll").
# QZX_SKIP_WIN32_I686=1 leaves the i686 build's tests out, and says so.
wine32=skipped
if [[ "${QZX_SKIP_WIN32_I686:-}" != 1 ]]; then
  if "$top/tools/setup-wine32.sh"; then wine32=ready; else wine32=failed; fi
fi

"$wine64" wineboot -i >/dev/null 2>&1
# The prefix's desktop draws on the display of the process that starts it, and a desktop started
# without one makes no windows: the boot's is let go, and the tests share one private X server.
"$wineserver" -w 2>/dev/null || true

# The server serves until its standard input closes; the first line names its ports.
coproc SERVER { exec "$out/host/tests/online/qzx_loopback_server"; }
server_pid=$SERVER_PID
read -r ports <&"${SERVER[0]}"
export QZX_LOOPBACK_PORTS="$ports"

status=0
echo "== 64-bit build under wine64"
x86_64_began=$(date +%s)
xvfb-run --auto-servernum ctest --test-dir "$out/x86_64" --output-on-failure -j 2 || status=1
x86_64_ended=$(date +%s)

# The i686 build is the program handed out: its tests run too, under Wine's 32-bit side, which
# setup-wine32.sh made work here (natively, or through qemu-i386 on a kernel that refuses
# 32-bit code).
if [[ "$wine32" == skipped ]]; then
  echo "== 32-bit build: tests skipped (QZX_SKIP_WIN32_I686=1)"
elif [[ "$wine32" == failed ]]; then
  echo "error: Wine's 32-bit side could not be set up: the i686 build is untested" >&2
  status=1
else
  echo "== 32-bit build under /usr/lib/wine/wine"
  i686_began=$(date +%s)
  # The first run's desktop went with its X server. The 32-bit side of the prefix is made now.
  timeout 60 "$wineserver" -w 2>/dev/null || true
  xvfb-run --auto-servernum ctest --test-dir "$out/i686" --output-on-failure -j 2 || status=1
  i686_ended=$(date +%s)
fi

# The 32-bit programs stand alone: no MinGW runtime DLL beside them.
for exe in $(find "$out/i686" -name '*.exe' -not -path '*/CMakeFiles/*'); do
  if i686-w64-mingw32-objdump -p "$exe" | grep -iE 'DLL Name: *(libstdc|libgcc|libwinpthread)'; then
    echo "error: $exe needs a MinGW DLL beside it" >&2
    status=1
  fi
done

ended=$(date +%s)
echo "Windows build $((built - began)) s, tests under Wine $((ended - built)) s" \
  "(x86_64 $((x86_64_ended - x86_64_began)) s${i686_ended:+, i686 $((i686_ended - i686_began)) s})"
exit $status
