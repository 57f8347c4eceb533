#!/usr/bin/env bash
# The GUI thread's longest stall during a burst, the Windows window under Wine next to the
# Linux window, in one go: each repetition runs every window once quiet and once with busy
# loops taking the CPU, the windows taking turns at going first.
#
#   bench/stall.sh [--repeat N] [--busy N] [--folders N] [--files N] [--baseline EXE] [WIN_EXE]
#
# WIN_EXE is window_bench_win32.exe (QZX_WINDOWS_BENCH=ON tools/build-windows.sh builds it);
# --baseline adds another build of it (the previous commit, say) to the same go. "wine-classic"
# is the same program in a prefix without Wine's visual theme, whose drawing asks Wine's server
# for every themed part. The Linux window is build/bench/window_burst_bench, offscreen and on a
# private X server as the Wine one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
repeat=3 busy=2 folders=20 files=1000 baseline=""
win=${QZX_WINDOWS_BUILD_DIR:-$top/build-windows}/x86_64/bench/window_bench_win32.exe
while (($#)); do
  case "$1" in
    --repeat) repeat=$2; shift 2 ;;
    --busy) busy=$2; shift 2 ;;
    --folders) folders=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    *) win=$1; shift ;;
  esac
done
linux=${QZX_BUILD_DIR:-$top/build}/bench/window_burst_bench
for exe in "$win" "$linux" ${baseline:+"$baseline"}; do
  [[ -x "$exe" || -f "$exe" ]] || { echo "missing $exe" >&2; exit 1; }
done

results=$(mktemp)
loops=()
xvfb=""
stop_all() {
  stop_busy
  if [[ -n "$xvfb" ]]; then kill "$xvfb" 2>/dev/null || true; fi
  rm -f "$results"
}
start_busy() {
  for ((i = 0; i < busy; ++i)); do
    sh -c 'while :; do :; done' &
    loops+=($!)
  done
}
stop_busy() {
  if ((${#loops[@]})); then kill "${loops[@]}" 2>/dev/null || true; wait "${loops[@]}" 2>/dev/null || true; fi
  loops=()
}
trap stop_all EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1

# One run: prints the worst gap in ms, or "failed".
run() {
  local what=$1 out
  case "$what" in
    wine) out=$("$top/tools/bench-win32.sh" "$win" "$files" "$folders" 1000 2>&1) ;;
    wine-classic) out=$(QZX_BENCH_THEME=off "$top/tools/bench-win32.sh" "$win" "$files" "$folders" 1000 2>&1) ;;
    wine-baseline) out=$("$top/tools/bench-win32.sh" "$baseline" "$files" "$folders" 1000 2>&1) ;;
    qt-offscreen) out=$(QT_QPA_PLATFORM=offscreen "$linux" "$files" "$folders" 2>&1) ;;
    qt-x11) out=$(QT_QPA_PLATFORM=xcb DISPLAY=$display "$linux" "$files" "$folders" 2>&1) ;;
  esac
  local gap
  gap=$(grep -oE '(worst gap between 10 ms ticks on the GUI thread: |worst_gui_stall_ms )[0-9.]+' \
    <<<"$out" | grep -oE '[0-9.]+$' || true)
  echo "${gap:-failed}"
}

kinds=(wine wine-classic qt-x11 qt-offscreen)
[[ -n "$baseline" ]] && kinds=(wine wine-baseline wine-classic qt-x11 qt-offscreen)
for ((r = 1; r <= repeat; ++r)); do
  # Turns: each repetition starts one further along the list.
  order=("${kinds[@]:$(((r - 1) % ${#kinds[@]}))}" "${kinds[@]:0:$(((r - 1) % ${#kinds[@]}))}")
  for load in quiet busy; do
    [[ "$load" == busy ]] && start_busy
    for kind in "${order[@]}"; do
      gap=$(run "$kind")
      echo "$r $load $kind $gap" | tee -a "$results" >&2
    done
    stop_busy
  done
done

python3 - "$results" "$repeat" "$busy" "$folders" "$files" "${kinds[@]}" <<'PY'
import statistics, sys
path, repeat, busy, folders, files, *kinds = sys.argv[1:]
runs = {}
for line in open(path):
    r, load, kind, gap = line.split()
    runs.setdefault((load, kind), []).append(None if gap == "failed" else float(gap))
print(f"{folders} new folders x {files} files, {repeat} repetitions; busy = {busy} busy loops")
print("| window | load | longest gap (ms), median | range | vs the Linux window on X |")
print("|---|---|---|---|---|")
for load in ("quiet", "busy"):
    ref = [g for g in runs.get((load, "qt-x11"), []) if g is not None]
    for kind in kinds:
        gaps = runs.get((load, kind), [])
        good = [g for g in gaps if g is not None]
        if not good:
            print(f"| {kind} | {load} | failed | | |")
            continue
        med = statistics.median(good)
        ratio = f"{med / statistics.median(ref):.2f}x" if ref else ""
        failed = len(gaps) - len(good)
        note = f" ({failed} failed)" if failed else ""
        print(f"| {kind} | {load} | {med:.1f}{note} | {min(good):.1f}-{max(good):.1f} | {ratio} |")
PY
