#!/usr/bin/env bash
# Installs what is missing, then builds and tests in steps, each a script tools/test-<step>.sh:
#   unit     the ordinary build and every test
#   windows  the Windows program built with MinGW-w64 and its tests under Wine
#   package  the two Debian packages and the Windows zip made into dist/, and their tests
#   asan     the whole suite again with the address and undefined-behaviour checks
#   tsan     the threaded parts under the thread checker
#   fuzz     every fuzz target for 20 seconds
# QZX_TEST_STEPS picks steps (default: all, in this order); extra arguments go to ctest in the
# unit and asan steps. Every step runs even after one failed, so that one run shows all that is
# wrong; any failure, sanitizer report or fuzz crash makes the run fail at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/setup-debian.sh"
steps=${QZX_TEST_STEPS:-unit windows package asan tsan fuzz}
# The package step's clean Debian root is minutes of mostly waiting for the mirror: it is made
# while the steps before it build (once; a root already made is kept).
root_maker=""
if [[ " $steps " == *" package "* ]]; then
  root_cache="${QZX_PACKAGE_BUILD_DIR:-$top/build-package}/clean-root"
  mkdir -p "$root_cache"
  bash "$top/tests/packaging/MakeCleanRoot.sh" "$root_cache" >"$root_cache/make.log" 2>&1 &
  root_maker=$!
fi
failed=()
for step in $steps; do
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
# What became of the root is for the package step to judge.
if [[ -n "$root_maker" ]]; then wait "$root_maker" || true; fi
if ((${#failed[@]} > 0)); then
  echo "Failed steps: ${failed[*]}" >&2
  exit 1
fi
