#!/usr/bin/env bash
# The tests of the threaded parts (watcher, recorder, controller, online notices, window and
# the qzxwatch loop) under the thread checker, each run three times over for more
# interleavings.
set -euo pipefail
source "$(dirname "$0")/sanitizer-env.sh"
tests=(watch/watch_core_tests watch/watch_inotify_tests watch/watch_fanotify_tests
       app/app_core_tests online/online_core_tests app/qt/app_window_tests
       app/cli/qzxwatch_core_tests)
targets=()
for t in "${tests[@]}"; do targets+=(-t "$(basename "$t")"); done
"$qzx_top/tools/build-sanitized.sh" tsan "${targets[@]}" >/dev/null
build=$(qzx_checked_dir tsan)
export QT_QPA_PLATFORM=offscreen
failed=()
for t in "${tests[@]}"; do
  log="$build/tsan-$(basename "$t").log"
  if "$build/tests/$t" --gtest_repeat=3 >"$log" 2>&1; then
    echo "tsan $(basename "$t"): passed"
  else
    echo "tsan $(basename "$t"): FAILED, see $log" >&2
    grep -E -A12 "WARNING: ThreadSanitizer|\[  FAILED  \]" "$log" | head -40 >&2
    failed+=("$t")
  fi
done
((${#failed[@]} == 0))
