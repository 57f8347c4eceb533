// What the ignore patterns cost on the recording thread: the names of a burst of 100 folders of
// 1,000 files each, matched against a typical list and against none.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "watch/IgnoreRules.h"

namespace {

// What a user of a source tree and an office desktop would write.
constexpr const char* kTypicalList =
    "# editors and office programs\n"
    "*.swp\n*.sw?\n~$*\n*.tmp\n!keep.tmp\n"
    "# tools\n"
    ".git/\nbuild/\nnode_modules/\n__pycache__/\n*.o\n.DS_Store\n"
    "/docs/old/\n";

// Half the folders of the burst sit below a folder that the list excludes.
std::vector<std::string> BurstNames(char separator, bool halfExcluded) {
    std::vector<std::string> names;
    names.reserve(100 * 1000);
    for (int folder = 0; folder < 100; ++folder) {
        std::string prefix = "src";
        prefix += separator;
        if (halfExcluded && folder % 2 == 1) {
            prefix += "build";
            prefix += separator;
        }
        prefix += "dir-" + std::to_string(folder);
        prefix += separator;
        for (int file = 0; file < 1000; ++file) {
            names.push_back(prefix + "file-" + std::to_string(file) + ".txt");
        }
    }
    return names;
}

qzx::IgnoreRules TypicalRules(qzx::IgnoreSyntax syntax) {
    qzx::IgnoreRules rules(syntax);
    rules.AddLines(qzx::PatternLines(kTypicalList));
    return rules;
}

void MatchAll(benchmark::State& state, const qzx::IgnoreRules& rules,
              const std::vector<std::string>& names) {
    std::size_t ignored = 0;
    for (auto _ : state) {
        ignored = 0;
        for (const std::string& name : names) {
            ignored += rules.Ignores(name, qzx::PathKind::kFile) ? 1 : 0;
        }
        benchmark::DoNotOptimize(ignored);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(names.size()));
    state.counters["ignored"] = static_cast<double>(ignored);
}

// The baseline: an empty list, as every run without patterns asks it.
void BM_BurstNoRules(benchmark::State& state) {
    MatchAll(state, qzx::IgnoreRules({false, false}), BurstNames('/', true));
}
BENCHMARK(BM_BurstNoRules)->Unit(benchmark::kMillisecond);

void BM_BurstTypicalListLinux(benchmark::State& state) {
    MatchAll(state, TypicalRules({false, false}), BurstNames('/', false));
}
BENCHMARK(BM_BurstTypicalListLinux)->Unit(benchmark::kMillisecond);

void BM_BurstHalfExcludedLinux(benchmark::State& state) {
    MatchAll(state, TypicalRules({false, false}), BurstNames('/', true));
}
BENCHMARK(BM_BurstHalfExcludedLinux)->Unit(benchmark::kMillisecond);

// Windows' rules: folded case and both separators.
void BM_BurstTypicalListWindows(benchmark::State& state) {
    MatchAll(state, TypicalRules({true, true}), BurstNames('\\', false));
}
BENCHMARK(BM_BurstTypicalListWindows)->Unit(benchmark::kMillisecond);

// Names that need the general matcher: sets and several stars.
void BM_BurstGeneralPatterns(benchmark::State& state) {
    qzx::IgnoreRules rules({false, false});
    rules.AddLines(qzx::PatternLines("*-[0-9][0-9][0-9].t?t\n*dir*cache*\n[!a-z]*.bak\n"));
    MatchAll(state, rules, BurstNames('/', false));
}
BENCHMARK(BM_BurstGeneralPatterns)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
