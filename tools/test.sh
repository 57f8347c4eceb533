#!/usr/bin/env bash
# Installs what is missing, then builds and tests in steps, each a script tools/test-<step>.sh:
#   unit     the ordinary build and every test
#   windows  the Windows program built with MinGW-w64 and its tests under Wine
#   package  the Debian package and the Windows zip made into dist/, and their tests
#   asan     the whole suite again with the address and undefined-behaviour checks
#   tsan     the threaded parts under the thread checker
#   fuzz     every fuzz target for 20 seconds
# QZX_TEST_STEPS picks steps (default: all, in this order); extra arguments go to ctest in the
# unit and asan steps. Every step runs even after one failed, so that one run shows all that is
# wrong; any failure, sanitizer report or fuzz crash makes the run fail at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-debian.sh"
failed=()
for step in ${QZX_TEST_STEPS:-unit windows package asan tsan fuzz}; do
  started=$SECONDS
  echo "== $step"
  args=()
  if [[ "$step" == unit || "$step" == asan ]]; then args=("$@"); fi
  if "$top/tools/test-$step.sh" "${args[@]}"; then
    echo "== $step passed in $((SECONDS - started)) s"
  else
    echo "== $step FAILED after $((SECONDS - started)) s"
    failed+=("$step")
  fi
done
if ((${#failed[@]} > 0)); then
  echo "Failed steps: ${failed[*]}" >&2
  exit 1
fi
