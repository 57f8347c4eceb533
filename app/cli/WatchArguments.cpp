#include "app/cli/WatchArguments.h"

#include <string_view>
#include <utility>

#include "watch/ChangeKind.h"

namespace qzx::cli {
namespace {

// Sets the option of the kind named by one word of --kinds; false for a word that names none.
bool SetKind(MonitorOptions& o, std::string_view word) {
    for (const ChangeKindInfo& info : kChangeKinds) {
        if (word != info.word) continue;
        o.*info.option = 1;
        return true;
    }
    return false;
}

bool ParseKinds(std::string_view list, MonitorOptions& o, std::string& error) {
    for (const ChangeKindInfo& info : kChangeKinds) o.*info.option = 0;
    if (list.empty()) {
        error = "--kinds needs at least one of added,modified,deleted,renamed,other";
        return false;
    }
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        if (!SetKind(o, word)) {
            error = "unknown kind in --kinds: \"" + std::string(word) + "\"";
            return false;
        }
        if (comma == std::string_view::npos) return true;
        list.remove_prefix(comma + 1);
    }
}

// What the arguments said so far, before the checks that need all of them.
struct ArgumentsRead {
    WatchArguments a;
    bool gbk = false;
    bool json = false;
    bool optionsEnded = false;
    std::vector<std::string> folders;
};

ArgumentsRead Defaults() {
    ArgumentsRead r;
    r.a.options = DefaultOptions();
    // No list to keep short: IDs run on, as the rows are printed rather than kept.
    r.a.options.optAutoClear = 0;
    r.a.options.optRecordLog = 0;
    return r;
}

// One option as written: its name, and its value when it came after "=".
struct OptionWord {
    std::string name;
    std::optional<std::string> value;
};

OptionWord SplitOption(const std::string& arg) {
    const std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) != 0 || eq == std::string::npos) return {arg, std::nullopt};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

// Applies an option that takes no value; false when name is none of them.
bool ReadFlag(const std::string& name, ArgumentsRead& r) {
    if (name == "--") {
        r.optionsEnded = true;
    } else if (name == "-h" || name == "--help") {
        r.a.showHelp = true;
    } else if (name == "-V" || name == "--version") {
        r.a.showVersion = true;
    } else if (name == "--gbk") {
        r.gbk = true;
    } else if (name == "--json") {
        r.json = true;
    } else if (name == "--process") {
        r.a.showProcess = true;
    } else if (name == "--no-dup-window") {
        r.a.duplicateWindow = false;
    } else if (name == "--catch-up") {
        r.a.catchUp = true;
    } else if (name == "--gitignore") {
        r.a.treeIgnoreFiles = true;
    } else {
        return false;
    }
    return true;
}

// Patterns are checked here, so that a mistake is told before any file is read; the files
// wait for BuildIgnoreRules.
bool ReadIgnoreOption(const std::string& name, const std::string& value, ArgumentsRead& r,
                      std::string& error) {
    if (name == "--exclude-from") {
        if (value.empty()) {
            error = "--exclude-from needs a file";
            return false;
        }
        r.a.ignoreOptions.push_back({IgnoreOption::Kind::ExcludeFrom, value});
        return true;
    }
    const bool include = name == "--include";
    if (include && r.a.ignoreOptions.empty()) {
        error =
            "--include keeps what an earlier --exclude or --exclude-from pattern leaves out; "
            "give the pattern to leave out first (to watch only some names, use "
            "--exclude '*' --include '*/' then --include PATTERN)";
        return false;
    }
    if (const auto problem = IgnoreRules().AddPattern(value, include)) {
        error = name + ": bad pattern \"" + value + "\": " + PatternProblemText(*problem);
        return false;
    }
    r.a.ignoreOptions.push_back(
        {include ? IgnoreOption::Kind::Include : IgnoreOption::Kind::Exclude, value});
    return true;
}

// Applies an option that takes a value; false with error set when the value is refused.
bool ReadValue(const std::string& name, const std::string& value, ArgumentsRead& r,
               std::string& error) {
    if (name == "--kinds") return ParseKinds(value, r.a.options, error);
    if (name == "--exclude" || name == "--include" || name == "--exclude-from") {
        return ReadIgnoreOption(name, value, r, error);
    }
    // The only other one is --log.
    if (value.empty()) {
        error = "--log needs a folder";
        return false;
    }
    r.a.logDirectory = value;
    r.a.options.optRecordLog = 1;
    return true;
}

bool TakesValue(const std::string& name) {
    return name == "--kinds" || name == "--log" || name == "--exclude" || name == "--include" ||
           name == "--exclude-from";
}

// Reads the option at args[i]; its value may follow as the next argument, which i then passes.
bool ReadOption(const std::vector<std::string>& args, std::size_t& i, ArgumentsRead& r,
                std::string& error) {
    OptionWord option = SplitOption(args[i]);
    // "--" may carry a value and still end the options; any other flag with one is refused.
    if ((!option.value || option.name == "--") && ReadFlag(option.name, r)) return true;
    if (!TakesValue(option.name)) {
        error = "unknown option: " + args[i];
        return false;
    }
    if (!option.value) {
        if (i + 1 >= args.size()) {
            error = option.name + " needs a value";
            return false;
        }
        option.value = args[++i];
    }
    return ReadValue(option.name, *option.value, r, error);
}

// The checks that need every argument read.
std::optional<WatchArguments> Finish(ArgumentsRead r, std::string& error) {
    if (r.a.showHelp || r.a.showVersion) return std::move(r.a);
    if (r.gbk && r.json) {
        error = "--gbk and --json cannot be used together";
        return std::nullopt;
    }
    if (r.folders.size() != 1 || r.folders[0].empty()) {
        error = r.folders.empty() ? "no folder given" : "give exactly one folder";
        return std::nullopt;
    }
    r.a.folder = std::move(r.folders[0]);
    r.a.form = r.json ? OutputForm::Json : r.gbk ? OutputForm::GbkLines : OutputForm::Utf8Lines;
    return std::move(r.a);
}

bool IsFolder(const std::string& arg) { return arg.empty() || arg[0] != '-' || arg == "-"; }

}  // namespace

std::optional<WatchArguments> ParseWatchArguments(const std::vector<std::string>& args,
                                                  std::string& error) {
    ArgumentsRead r = Defaults();
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (r.optionsEnded || IsFolder(args[i])) {
            r.folders.push_back(args[i]);
            continue;
        }
        if (!ReadOption(args, i, r, error)) return std::nullopt;
    }
    return Finish(std::move(r), error);
}

std::string HelpText() {
    return "Usage: qzxwatch [options] FOLDER\n"
           "Prints one line for every change recorded below FOLDER, as the daily log writes it:\n"
           "time, ID, kind and path, separated by TABs.\n"
           "\n"
           "Options:\n"
           "  --kinds LIST     kinds to record, comma-separated, from\n"
           "                   added,modified,deleted,renamed,other\n"
           "                   (default: added,modified,deleted,renamed)\n"
           "  --gbk            print the lines in GBK with CR LF, byte for byte as the log file\n"
           "  --json           print one JSON object per change: id, time, kind, path, newPath,\n"
           "                   and pid, process and exe where the engine knows who made it\n"
           "  --process        add a fifth field to each line: the process that made the\n"
           "                   change, as name(pid), or the PID alone when it had already\n"
           "                   ended; the field is empty when the engine does not know it\n"
           "                   (inotify). The daily log keeps its four fields\n"
           "  --log DIR        also append every line to DIR/<year>-<month>-<day>.log\n"
           "  --no-dup-window  record every change, even a repeat of the last name\n"
           "                   (by default a repeated add or modify within 5 s is dropped)\n"
           "  --catch-up       save the tree's snapshot at the end and print what changed\n"
           "                   while stopped at the next start (JSON: \"found\":\"catch-up\");\n"
           "                   after lost changes, print what a new compare finds\n"
           "                   (\"found\":\"recovery\")\n"
           "  --exclude PATTERN       leave out the changes that PATTERN matches (repeatable)\n"
           "  --include PATTERN       keep them after all: an exception to an earlier --exclude\n"
           "                          or --exclude-from, which it needs (not a filter alone)\n"
           "  --exclude-from FILE     read patterns from FILE, UTF-8, one a line (\"!\" starts an\n"
           "                          exception, \"#\" a comment), as the window's ignore list\n"
           "                          writes them\n"
           "  --gitignore             also follow the tree's own .gitignore files and\n"
           "                          .git/info/exclude, as git does; the options' patterns\n"
           "                          win over them. A changed .gitignore acts from the next\n"
           "                          change\n"
           "  -h, --help       show this text\n"
           "  -V, --version    show the version\n"
           "\n"
           "The status (准备中.., 监控中.., 已停止..) goes to standard error, and so do lost\n"
           "changes and unwatched folders, with a count. Its first line says how the folder\n"
           "is watched (监控方式：...): on Linux with fanotify, one mark for the whole tree\n"
           "and the process behind each change, where the process may (root, or\n"
           "CAP_SYS_ADMIN and CAP_DAC_READ_SEARCH) and the file system allows it; otherwise\n"
           "with inotify, one watch per folder, and the reason. SIGINT or SIGTERM stops it\n"
           "after every change made before the signal is printed and logged (on Windows,\n"
           "every change the system had already reported).\n"
           "\n"
           "Patterns are git's ignore-file patterns (gitignore(5)), in the order given, the\n"
           "last one that matches deciding:\n"
           "  *.tmp  ~$*  *.sw?  a name (*, ?, [abc], [!abc], [[:digit:]]) matched against the\n"
           "                     file's name and every folder above it\n"
           "  build/             a folder of that name anywhere, with everything under it\n"
           "  /build  docs/*.md  a path from FOLDER; * and ? stay within one name\n"
           "  **/x  a/**  a/**/b any folders before, everything inside, any folders between\n"
           "  \\#x  \\!x  \\*      \\ takes the next character as itself\n"
           "Nothing below an excluded folder comes back, so excluded folders are never\n"
           "watched. Letters compare as the system's file names do (exactly on Linux, without\n"
           "case on Windows, where paths may use \\ but patterns use /). A rename is printed\n"
           "when either name is kept. For example:\n"
           "  qzxwatch --exclude .git/ --exclude build/ --exclude '*.tmp' --include keep.tmp .\n"
           "\n"
           "Exit codes:\n"
           "  0  stopped on request (SIGINT, SIGTERM)\n"
           "  1  bad arguments (or the --log folder cannot be written, or a pattern cannot be\n"
           "     used: the option or FILE:LINE and why)\n"
           "  2  the folder cannot be watched\n"
           "  3  the watched folder went away\n"
           "  4  standard output could not be written\n";
}

std::string VersionText() { return std::string("qzxwatch ") + QZX_VERSION_FULL + "\n"; }

}  // namespace qzx::cli
