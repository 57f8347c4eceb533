#!/usr/bin/env bash
# Runs one fuzz target for a while, at low priority:
#   tools/fuzz.sh <target> <seconds> [libFuzzer options]
# Targets are the names under tests/fuzz/corpus (text_tools, gbk, inotify_events, ...). The
# inputs it finds are kept in build-asan/fuzz-corpus/<target> and grow from run to run; a crash
# leaves its input in build-asan/fuzz-crashes/<target>/ and fails. QZX_FUZZ_NO_BUILD=1 skips
# the build step.
set -euo pipefail
source "$(dirname "$0")/sanitizer-env.sh"
target=${1:?usage: fuzz.sh <target> <seconds> [libFuzzer options]}
seconds=${2:?usage: fuzz.sh <target> <seconds> [libFuzzer options]}
shift 2
seeds="$qzx_top/tests/fuzz/corpus/$target"
[[ -d "$seeds" ]] || { echo "fuzz.sh: no target $target (no $seeds)" >&2; exit 2; }
build=$(qzx_checked_dir asan)
if [[ "${QZX_FUZZ_NO_BUILD:-}" != 1 ]]; then
  "$qzx_top/tools/build-sanitized.sh" asan -t "fuzz_$target" >/dev/null
fi
work="$build/fuzz-corpus/$target"
crashes="$build/fuzz-crashes/$target"
mkdir -p "$work" "$crashes"
log="$build/fuzz-$target.log"
status=0
nice -n 10 "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$crashes/" "$@" "$work" "$seeds" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
corpus=$(find "$work" -type f | wc -l)
if ((status != 0)); then
  echo "fuzz $target: FAILED after ${runs:-?} runs; input in $crashes, report:" >&2
  grep -E "ERROR|rule broken|SUMMARY|^    #[0-9]+ " "$log" | head -20 >&2
  exit 1
fi
echo "fuzz $target: ${runs:-?} runs in $seconds s, no crash ($corpus inputs kept)"
