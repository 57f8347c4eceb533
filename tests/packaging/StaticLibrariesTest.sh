#!/usr/bin/env bash
# Every static library linked into a program that is handed out, from the linker's maps
# (packaging/CMakeLists.txt asks for them), is one whose terms are known, and the files carry
# the notices those terms ask for: the Windows zip's LICENSE.txt those of the MinGW-w64 run-time
# and winpthreads. A library no rule below knows fails: its licence has not been read.
#   StaticLibrariesTest.sh LINUX_BUILD_DIR WINDOWS_I686_BUILD_DIR ZIP
set -euo pipefail
linux=$1
windows=$2
zip=$3
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# The archives a map says members were taken from, each with the member: ARCHIVE<TAB>MEMBER.
archives() {  # MAP
  awk '/^Archive member included/ { on = 1; next }
       /^(As-needed library included|Discarded input sections|Memory Configuration|Allocating common)/ { on = 0 }
       on && /^[^ \t].*\.a\(/ { sub(/\).*/, ""); sub(/\(/, "\t"); print }' "$1" | sort -u
}
# ARCHIVE MEMBER -> the notices it needs, one a line ("-" for none), or nothing when no rule
# knows it.
notice() {
  local a=$1 member=$2 top=$3
  case "$a" in
    "$top"/* | [!/]*) echo - ;;  # the project's own libraries
    # GCC's run-time, under the GCC Runtime Library Exception: no notice is asked for.
    /usr/lib/gcc/*/libgcc.a | /usr/lib/gcc/*/libgcc_eh.a | /usr/lib/gcc/*/libstdc++.a | \
      /usr/lib/gcc/*/libsupc++.a | /usr/lib/gcc/*/libssp*.a | /usr/lib/gcc/*/libatomic.a) echo - ;;
    # glibc's static part of libc, under the LGPL's linking exception.
    /usr/lib/*-linux-gnu/libc_nonshared.a) echo - ;;
    /usr/*-w64-mingw32/lib/libwinpthread.a | /usr/*-w64-mingw32/lib/libpthread.a)
      echo "winpthreads"
      echo "Lockless Inc." ;;
    # The MinGW-w64 run-time and the import libraries of Windows' own DLLs; its numbers to and
    # from text come from gdtoa, under notices of their own.
    /usr/*-w64-mingw32/lib/lib*.a)
      echo "The MinGW-w64 run-time"
      case "${member#*-}" in
        qnan.o | strtodnrp.o) echo "David M. Gay" ;;
        arithchk.o | dmisc.o | dtoa.o | g_*.o | g__fmt.o | gdtoa.o | gethex.o | gmisc.o | \
          hd_init.o | hexnan.o | misc.o | smisc.o | strtodg.o | strtof.o | strtopx.o | \
          sum.o | ulp.o | mingw_pformat*.o) echo "Lucent Technologies" ;;
      esac ;;
  esac
}
license=$(mktemp)
trap 'rm -f "$license"' EXIT
python3 - "$zip" "$license" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    name = next(n for n in z.namelist() if n.endswith("/LICENSE.txt"))
    open(sys.argv[2], "wb").write(z.read(name))
PY

check() {  # what build-dir carrier-file map...
  local what=$1 top carrier=$3 map a member needs need program
  top=$(readlink -f "$2")
  shift 3
  for map in "$@"; do
    [[ -s "$map" ]] || { fail "no linker map $map"; continue; }
    program=$(basename "${map%.map}")
    declare -A resolved=()
    while IFS=$'\t' read -r a member; do
      # A path in the map is the linker's, from the program's folder.
      [[ -n "${resolved[$a]:-}" ]] || resolved[$a]=$(cd "$(dirname "$map")" && readlink -f "$a")
      needs=$(notice "${resolved[$a]}" "$member" "$top")
      if [[ -z "$needs" ]]; then
        fail "$what: $program links $a($member), whose licence no rule here knows"
        continue
      fi
      while IFS= read -r need; do
        [[ "$need" == - ]] && continue
        if [[ -z "$carrier" ]] || ! grep -qF "$need" "$carrier"; then
          fail "$what: $program links $a($member), but the notice \"$need\" is not carried"
        fi
      done <<<"$needs"
    done < <(archives "$map")
    echo "ok: $what $program: $(archives "$map" | cut -f1 | sort -u | xargs -n1 basename | sort -u | xargs)"
  done
}
check Linux "$linux" "" "$linux/app/qt/qzxfile.map" "$linux/app/cli/qzxwatch.map"
check Windows "$windows" "$license" "$windows/app/win32/QzxFile.exe.map" "$windows/app/cli/qzxwatch.exe.map"
exit $failed
