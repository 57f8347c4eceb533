#include "app/cli/WatchArguments.h"

#include <string_view>

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

}  // namespace

std::optional<WatchArguments> ParseWatchArguments(const std::vector<std::string>& args,
                                                  std::string& error) {
    WatchArguments a;
    a.options = DefaultOptions();
    // No list to keep short: IDs run on, as the rows are printed rather than kept.
    a.options.optAutoClear = 0;
    a.options.optRecordLog = 0;
    bool gbk = false;
    bool json = false;
    bool optionsEnded = false;
    std::vector<std::string> folders;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            folders.push_back(arg);
            continue;
        }
        // An option's value may follow as the next argument or after "=".
        std::string name = arg;
        std::optional<std::string> value;
        if (const std::size_t eq = arg.find('=');
            arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        auto takeValue = [&]() -> bool {
            if (value) return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        const bool flag = !value;
        if (name == "--") {
            optionsEnded = true;
        } else if ((name == "-h" || name == "--help") && flag) {
            a.showHelp = true;
        } else if ((name == "-V" || name == "--version") && flag) {
            a.showVersion = true;
        } else if (name == "--gbk" && flag) {
            gbk = true;
        } else if (name == "--json" && flag) {
            json = true;
        } else if (name == "--no-dup-window" && flag) {
            a.duplicateWindow = false;
        } else if (name == "--kinds") {
            if (!takeValue() || !ParseKinds(*value, a.options, error)) return std::nullopt;
        } else if (name == "--log") {
            if (!takeValue()) return std::nullopt;
            if (value->empty()) {
                error = "--log needs a folder";
                return std::nullopt;
            }
            a.logDirectory = *value;
            a.options.optRecordLog = 1;
        } else {
            error = "unknown option: " + arg;
            return std::nullopt;
        }
    }
    if (a.showHelp || a.showVersion) return a;
    if (gbk && json) {
        error = "--gbk and --json cannot be used together";
        return std::nullopt;
    }
    if (folders.size() != 1 || folders[0].empty()) {
        error = folders.empty() ? "no folder given" : "give exactly one folder";
        return std::nullopt;
    }
    a.folder = folders[0];
    a.form = json ? OutputForm::Json : gbk ? OutputForm::GbkLines : OutputForm::Utf8Lines;
    return a;
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
           "  --json           print one JSON object per change: id, time, kind, path, newPath\n"
           "  --log DIR        also append every line to DIR/<year>-<month>-<day>.log\n"
           "  --no-dup-window  record every change, even a repeat of the last name\n"
           "                   (by default a repeated add or modify within 5 s is dropped)\n"
           "  -h, --help       show this text\n"
           "  -V, --version    show the version\n"
           "\n"
           "The status (准备中.., 监控中.., 已停止..) goes to standard error, and so do lost\n"
           "changes and unwatched folders, with a count. SIGINT or SIGTERM stops it after every\n"
           "change made before the signal is printed and logged (on Windows, every change the\n"
           "system had already reported).\n"
           "\n"
           "Exit codes:\n"
           "  0  stopped on request (SIGINT, SIGTERM)\n"
           "  1  bad arguments (or the --log folder cannot be written)\n"
           "  2  the folder cannot be watched\n"
           "  3  the watched folder went away\n"
           "  4  standard output could not be written\n";
}

std::string VersionText() { return std::string("qzxwatch ") + QZX_VERSION_TEXT + "\n"; }

}  // namespace qzx::cli
