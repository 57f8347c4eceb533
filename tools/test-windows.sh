#!/usr/bin/env bash
# Builds the Windows program and runs its tests under Wine: the core tests and the Windows
# platform tests (folder watching, files, the log folder, GBK, HTTP against the loopback server
# of the Linux tests). Uses a throwaway Wine prefix made once for the run.
# The 64-bit build runs under wine64; the 32-bit one wherever this machine can run it.
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
xvfb-run --auto-servernum ctest --test-dir "$out/x86_64" --output-on-failure -j 2 || status=1

# Wine's 32-bit side needs a 32-bit loader and a kernel that runs 32-bit programs; some
# kernels, this machine's possibly included, answer "Exec format error".
loader32=""
for candidate in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
  [[ -x "$candidate" ]] && loader32=$candidate && break
done
if [[ -z "$loader32" ]]; then
  echo "== 32-bit build: tests skipped, no 32-bit Wine loader is installed (package wine32)"
elif ! "$loader32" --version >/dev/null 2>&1; then
  echo "== 32-bit build: tests skipped, this kernel cannot run 32-bit programs"
else
  echo "== 32-bit build under $loader32"
  # The first run's desktop went with its X server.
  "$wineserver" -w 2>/dev/null || true
  xvfb-run --auto-servernum ctest --test-dir "$out/i686" --output-on-failure -j 2 || status=1
fi

# The 32-bit programs stand alone: no MinGW runtime DLL beside them.
for exe in $(find "$out/i686" -name '*.exe' -not -path '*/CMakeFiles/*'); do
  if i686-w64-mingw32-objdump -p "$exe" | grep -iE 'DLL Name: *(libstdc|libgcc|libwinpthread)'; then
    echo "error: $exe needs a MinGW DLL beside it" >&2
    status=1
  fi
done

ended=$(date +%s)
echo "Windows build $((built - began)) s, tests under Wine $((ended - built)) s"
exit $status
