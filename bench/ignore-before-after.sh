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
    "$1/bench/ignore_rules_bench" --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null |
        awk -F, -v who="$2" 'NR > 1 { gsub(/"/, "", $1); t[$1] = $4; order[NR] = $1 }
            END { base = t["BM_BurstNoRules"]; for (i = 2; i <= NR; i++) { n = order[i]
                printf "%-6s %-28s %9.3f ms cpu  %7.1f x baseline\n", who, n, t[n], t[n] / base } }'
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
