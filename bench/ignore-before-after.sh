#!/usr/bin/env bash
# The ignore rules before and after a change, in one run: builds bench/IgnoreRulesBench.cpp and
# bench/IgnoreCheck.cpp (today's files) against the sources of an earlier commit, then runs the
# old and the new program one after the other, twice, each figure also as a ratio to that
# program's own empty-list baseline; then the template figures of both.
# Usage: bench/ignore-before-after.sh [COMMIT] (default: the commit before the git syntax)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
commit=${1:-e3f1030}
before=$top/build/before
# shellcheck source=tools/ccache-env.sh
source "$top/tools/ccache-env.sh"
qzx_ccache_options "$top"
rm -rf "$before/src"
mkdir -p "$before/src"
git -C "$top" archive "$commit" | tar -x -C "$before/src"
cp "$top/bench/IgnoreRulesBench.cpp" "$top/bench/IgnoreCheck.cpp" "$top/bench/CMakeLists.txt" \
    "$before/src/bench/"
cmake -S "$before/src" -B "$before/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQZX_BUILD_GUI=OFF "${qzx_ccache[@]}" >/dev/null
nice cmake --build "$before/build" --target ignore_rules_bench ignore_check -j2 >/dev/null
nice cmake --build "$top/build" --target ignore_rules_bench ignore_check -j2 >/dev/null

run() {
    "$1/bench/ignore_rules_bench" --benchmark_min_time=0.5 --benchmark_format=json 2>/dev/null |
        python3 -c '
import json, sys
runs = json.load(sys.stdin)["benchmarks"]
cpu = {r["name"]: r["cpu_time"] for r in runs}
base = cpu["BM_BurstNoRules"]
for r in runs:
    extra = "  rules %d refused %d" % (r["rules"], r["refused"]) if "rules" in r else ""
    print("%-6s %-28s %9.3f ms cpu %7.1f x baseline%s" % (sys.argv[1], r["name"], r["cpu_time"], r["cpu_time"] / base, extra))
' "$2"
}
for round in 1 2; do
    echo "round $round"
    run "$before/build" before
    run "$top/build" after
done
echo "templates, before:"
python3 "$top/bench/ignore_templates.py" "$before/build" | tail -4
echo "templates, after:"
python3 "$top/bench/ignore_templates.py" "$top/build" | tail -4
