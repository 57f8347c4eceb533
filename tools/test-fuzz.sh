#!/usr/bin/env bash
# Runs every fuzz target for QZX_FUZZ_SECONDS (20) seconds, one after the other; any crash
# fails, after all have had their turn.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/build-sanitized.sh" asan >/dev/null
failed=()
for seeds in "$here"/../tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  QZX_FUZZ_NO_BUILD=1 "$here/fuzz.sh" "$target" "${QZX_FUZZ_SECONDS:-20}" || failed+=("$target")
done
if ((${#failed[@]} > 0)); then
  echo "fuzz targets that crashed: ${failed[*]}" >&2
  exit 1
fi
