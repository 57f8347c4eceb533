#!/usr/bin/env bash
# Installs what is missing, then builds and tests in steps, each a script tools/test-<step>.sh:
#   unit  the ordinary build and every test
#   asan  the whole suite again with the address and undefined-behaviour checks
#   tsan  the threaded parts under the thread checker
#   fuzz  every fuzz target for 20 seconds
# QZX_TEST_STEPS picks steps (default: all, in this order); extra arguments go to ctest in the
# unit and asan steps. Any failure, sanitizer report or fuzz crash stops the run with an error.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-debian.sh"
for step in ${QZX_TEST_STEPS:-unit asan tsan fuzz}; do
  started=$SECONDS
  echo "== $step"
  "$top/tools/test-$step.sh" "$@"
  echo "== $step passed in $((SECONDS - started)) s"
done
