#!/usr/bin/env bash
# The Windows zip as a user unpacks it: one folder with QzxFile.exe and qzxwatch.exe, both
# 32-bit (PE32, i686) with the version block of this release and no DLL beyond Windows' own,
# and the read-me and licence as texts Notepad shows (UTF-8 with a byte-order mark, CR LF).
# Then the 64-bit twins of the same build run under wine64, as the other Windows tests run
# them (this machine may not run 32-bit programs); the zip's own programs run too where the
# 32-bit Wine works. Wine runs without a network: the window's online notices stay here.
#   WindowsZipTest.sh ZIP WINDOWS_BUILD_DIR VERSION
set -euo pipefail
if [[ -z "${QZX_ZIP_TEST_OFFLINE:-}" ]]; then
  # As root a network namespace of its own; otherwise one inside a user namespace.
  for isolate in "unshare --net" "unshare --net --map-root-user"; do
    if $isolate true 2>/dev/null; then QZX_ZIP_TEST_OFFLINE=1 exec $isolate bash "$0" "$@"; fi
  done
  QZX_ZIP_TEST_OFFLINE=no
fi
zip=$(readlink -f "$1")
windows=$(readlink -f "$2")
version=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qzx-zip.XXXXXX")
# shellcheck source=../../tools/wine-session.sh
source "$top/tools/wine-session.sh"
cleanup() {
  wine_session_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

folder="QzxFile-$version-win32"
# The 64-bit twins come from the same sources and build: the same version block.
twin_gui="$windows/x86_64/app/win32/QzxFile.exe"
twin_cli="$windows/x86_64/app/cli/qzxwatch.exe"
[[ -f "$twin_gui" && -f "$twin_cli" ]] || fail "no 64-bit twins in $windows/x86_64"

python3 - "$zip" "$work" "$folder" "$version" "$twin_gui" "$twin_cli" <<'PY'
import struct, sys, zipfile

zip_path, work, folder, version, twin_gui, twin_cli = sys.argv[1:]
want = {f"{folder}/{name}" for name in ("QzxFile.exe", "qzxwatch.exe", "README.txt", "LICENSE.txt")}
with zipfile.ZipFile(zip_path) as z:
    names = {n for n in z.namelist() if not n.endswith("/")}
    assert names == want, f"the zip holds {sorted(names)}, expected {sorted(want)}"
    assert z.testzip() is None, "a damaged member"
    z.extractall(work + "/unpacked")
base = f"{work}/unpacked/{folder}/"

for name in ("README.txt", "LICENSE.txt"):
    data = open(base + name, "rb").read()
    assert data.startswith(b"\xef\xbb\xbf"), f"{name} has no byte-order mark"
    text = data[3:].decode("utf-8")
    assert "\n" in text and text.count("\n") == text.count("\r\n"), f"{name} is not all CR LF"
    assert any("\u4e00" <= c <= "\u9fff" for c in text), f"{name} has no Chinese"
    assert f"QzxFile {version}" in text, f"{name} does not name QzxFile {version}"
readme = open(base + "README.txt", encoding="utf-8-sig").read()
assert "qzxwatch.exe" in readme and "Windows 7" in readme, "README.txt says too little"

major, minor, patch = (int(n) for n in version.split("."))
def pe(path, machine, magic, subsystem):
    data = open(path, "rb").read()
    assert data[:2] == b"MZ", f"{path}: not a Windows program"
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0", f"{path}: no PE header"
    found = struct.unpack_from("<H", data, offset + 4)[0]
    assert found == machine, f"{path}: machine {found:#x}, expected {machine:#x}"
    optional = offset + 24
    assert struct.unpack_from("<H", data, optional)[0] == magic, f"{path}: wrong optional header"
    found = struct.unpack_from("<H", data, optional + 68)[0]
    assert found == subsystem, f"{path}: subsystem {found}, expected {subsystem}"
    # VS_FIXEDFILEINFO: signature, structure version, file version (MS, LS), product version.
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, f"{path}: no version block"
    fixed = struct.unpack_from("<6I", data, at)
    want = ((major << 16) | minor, patch << 16)
    assert fixed[2:4] == want and fixed[4:6] == want, \
        f"{path}: version {fixed[2] >> 16}.{fixed[2] & 0xFFFF}.{fixed[3] >> 16}.{fixed[3] & 0xFFFF}"
    text = "".join(f"{n}." for n in (major, minor, patch)) + "0"
    print(f"ok: {path.split('/')[-1]} {'PE32 i686' if magic == 0x10B else 'PE32+ x86-64'}, "
          f"version block {text}")

I386, AMD64, GUI, CONSOLE = 0x14C, 0x8664, 2, 3
pe(base + "QzxFile.exe", I386, 0x10B, GUI)
pe(base + "qzxwatch.exe", I386, 0x10B, CONSOLE)
pe(twin_gui, AMD64, 0x20B, GUI)
pe(twin_cli, AMD64, 0x20B, CONSOLE)
PY
unpacked="$work/unpacked/$folder"

# Only Windows' own DLLs: the C++ runtime, libgcc and winpthreads are inside the programs.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll "
system_dlls+="oleaut32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll wininet.dll "
system_dlls+="ws2_32.dll "
for exe in "$unpacked/QzxFile.exe" "$unpacked/qzxwatch.exe"; do
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -nE 's/^\s*DLL Name: *(.*)$/\1/p' | tr '[:upper:]' '[:lower:]' | sort -u)
  [[ -n "$dlls" ]] || fail "no imports read from $(basename "$exe")"
  for dll in $dlls; do
    [[ "$system_dlls" == *" $dll "* ]] || fail "$(basename "$exe") imports $dll, not a Windows DLL"
  done
  echo "ok: $(basename "$exe") imports only $(echo "$dlls" | paste -sd,)"
done

wine_session_start "$work/session"
say() { tr -d '\r' <"$1"; }
run_cli() {  # loader exe: --version, then a watch with one change, stopped with Ctrl+C
  local loader=$1 exe=$2 watched pid code=0
  "$loader" "$exe" --version >"$work/version.out" 2>"$work/version.err" || fail "$exe --version ended with $?"
  [[ "$(say "$work/version.out")" == "qzxwatch $version" ]] || fail "$exe --version: $(say "$work/version.out")"
  watched="$work/watched-$(basename "$(dirname "$exe")")"
  mkdir -p "$watched"
  "$loader" "$exe" "$(winepath_of "$watched")" >"$work/watch.out" 2>"$work/watch.err" &
  pid=$!
  local deadline=$((SECONDS + 30))
  until grep -q '监控中' "$work/watch.err"; do
    ((SECONDS > deadline)) && fail "$exe did not start watching"
    sleep 0.1
  done
  # Under the 32-bit emulation a change made the moment the program says it is watching can
  # come before Wine has armed its notification, so a new file is made every two seconds until
  # one is reported: the test is that the zip's program runs and reports changes at all.
  local n=0
  deadline=$((SECONDS + 60))
  until grep -q 'change.*\.txt' "$work/watch.out"; do
    ((SECONDS > deadline)) && fail "$exe printed no line for the change"
    if ((n == 0 || SECONDS % 2 == 0)); then n=$((n + 1)); echo "$n" >"$watched/change$n.txt"; fi
    sleep 1
  done
  kill -INT "$pid"
  wait "$pid" || code=$?
  # Through the 32-bit emulation the signal now and then ends the process before Wine hands
  # it to the program as Ctrl+C (130); the 64-bit run holds the program to its own exit 0.
  [[ $code == 0 || ($code == 130 && "$loader" != "$WINE64") ]] ||
    fail "$exe ended with $code after Ctrl+C"
  echo "ok: $exe under $(basename "$loader"): $(say "$work/version.out"), $(grep -c . "$work/watch.out") line(s) for $n change(s)"
}
run_cli "$WINE64" "$twin_cli"

# The window opens with this release's title and closes with Escape. It fetches its online
# notices at start: never from a test that has the network.
run_window() {
  local desktop deadline
  wine_session_run "$twin_gui"
  wine_find_window "翠鸮文件之哨 Ver" 60 >/dev/null || fail "the 64-bit window did not appear"
  desktop=$(wine_find_window 'Wine desktop' 10) || fail "no Wine desktop window"
  xdotool windowfocus --sync "$desktop"
  xdotool key Escape
  deadline=$((SECONDS + 20))
  while kill -0 "$WINE_APP_PID" 2>/dev/null; do
    ((SECONDS > deadline)) && fail "the 64-bit window did not close on Escape"
    sleep 0.2
  done
  echo "ok: $twin_gui opened its window under wine64 and closed"
}
if [[ "$QZX_ZIP_TEST_OFFLINE" == no ]]; then
  echo "skipped: the 64-bit window, as this machine gives the test no network namespace"
else
  run_window
fi

loader32=""
for candidate in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
  [[ -x "$candidate" ]] && loader32=$candidate && break
done
if [[ -n "$loader32" ]] && "$loader32" --version >/dev/null 2>&1; then
  run_cli "$loader32" "$unpacked/qzxwatch.exe"
else
  echo "skipped: the zip's own 32-bit programs, as this machine has no working 32-bit Wine"
fi
echo "PASS: $(basename "$zip")"
