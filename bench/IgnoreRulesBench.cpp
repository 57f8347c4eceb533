// What the ignore patterns cost on the recording thread: the names of a burst of 100 folders of
// 1,000 files each, matched against a typical list, against a 100-line template of the kind
// users paste (with "**" lines), and against none. bench/ignore-before-after.sh runs this
// program built from an earlier commit beside today's, each with its own baseline.
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

// A template as users paste them: languages, tools, editors and systems, 100 patterns.
constexpr const char* kTemplate =
    "__pycache__/\n*.py[cod]\n*$py.class\n*.so\nbuild/\ndist/\n*.egg-info/\n.eggs/\n"
    ".pytest_cache/\n.mypy_cache/\n.tox/\n.coverage\n.coverage.*\nhtmlcov/\n.venv\nvenv/\n"
    "env/\n.env\n*.log\nlogs\nnpm-debug.log*\nyarn-error.log*\nnode_modules/\n"
    "jspm_packages/\n.npm\n.eslintcache\n*.tgz\n.next\n.nuxt\n.cache\n.parcel-cache\n"
    "coverage\n*.lcov\n.nyc_output\n*.class\n*.jar\n*.war\n*.ear\nhs_err_pid*\ntarget/\n"
    ".gradle\n**/build/\n!src/**/build/\ngradle-app.setting\n!gradle-wrapper.jar\n*.o\n*.obj\n"
    "*.a\n*.lib\n*.dll\n*.exe\n*.out\n*.dylib\n*.pdb\nCMakeCache.txt\nCMakeFiles\n"
    "cmake_install.cmake\ncompile_commands.json\ncmake-build-*/\n**/*.rs.bk\nCargo.lock\n"
    "vendor/\n.idea/**/workspace.xml\n.idea/**/tasks.xml\n.idea/**/usage.statistics.xml\n"
    ".idea/**/dictionaries\n.idea/**/shelf\n.idea/**/dataSources/\n.idea/**/libraries\n"
    "*.iws\nout/\n.idea_modules/\n.vscode/*\n!.vscode/settings.json\n!.vscode/tasks.json\n"
    "!.vscode/launch.json\n!.vscode/extensions.json\n.history/\n[._]*.s[a-v][a-z]\n!*.svg\n"
    "[._]*.sw[a-p]\n[._]sw[a-p]\nSession.vim\n*~\ntags\n\\#*\\#\n.\\#*\n*.elc\n"
    ".DS_Store\n.AppleDouble\n._*\n.Spotlight-V100\n.Trashes\nThumbs.db\nehthumbs.db\n"
    "[Dd]esktop.ini\n$RECYCLE.BIN/\n*.lnk\n.Trash-*\n.nfs*\n*.tmp\n";

// Paths of a project tree: sources, with build output and editor files among them.
std::vector<std::string> ProjectNames() {
    const char* folders[] = {"src/app/", "src/app/build/", "lib/core/", "web/src/components/",
                             "docs/", "app/src/main/java/com/x/", "tests/unit/", ".idea/"};
    const char* files[] = {"main.c", "main.o", "util.py", "util.pyc", "index.js", "a.log",
                           "A.class", "notes.txt~", ".x.swp", "workspace.xml", "README.md",
                           "lib.rs", "lib.rs.bk", "x.tmp", "data.json", "style.css"};
    std::vector<std::string> names;
    names.reserve(100 * 1000);
    while (names.size() < 100 * 1000) {
        for (const char* folder : folders) {
            for (const char* file : files) {
                names.push_back(std::string(folder) + "d" + std::to_string(names.size() % 97) +
                                "/" + file);
            }
        }
    }
    return names;
}

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

// The template's lines that this build takes; an older one refuses the "**" lines.
void BM_ProjectTemplate(benchmark::State& state) {
    qzx::IgnoreRules rules({false, false});
    const auto refused = rules.AddLines(qzx::PatternLines(kTemplate));
    MatchAll(state, rules, ProjectNames());
    state.counters["rules"] = static_cast<double>(rules.Size());
    state.counters["refused"] = static_cast<double>(refused.size());
}
BENCHMARK(BM_ProjectTemplate)->Unit(benchmark::kMillisecond);

void BM_ProjectTypicalList(benchmark::State& state) {
    MatchAll(state, TypicalRules({false, false}), ProjectNames());
}
BENCHMARK(BM_ProjectTypicalList)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
