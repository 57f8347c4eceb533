// The command line of qzxwatch: what it asks for, its help text and its exit codes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/WatchIgnore.h"
#include "watch/EventRecorder.h"
#include "watch/IgnoreRules.h"

namespace qzx::cli {

/// How qzxwatch ends; the same numbers are listed in --help, the README and the man page.
enum ExitCode : int {
    kExitStopped = 0,       // stopped on request (SIGINT, SIGTERM)
    kExitBadArguments = 1,  // unknown option, missing folder, bad --kinds, unusable --log,
                            // a pattern that cannot be used
    kExitCannotWatch = 2,   // the folder cannot be watched
    kExitFolderGone = 3,    // the watched folder went away or could no longer be read
    kExitOutputFailed = 4,  // standard output could not be written (closed pipe, full disk)
};

enum class OutputForm { Utf8Lines, GbkLines, Json };

/// What one run of qzxwatch was asked to do.
struct WatchArguments {
    bool showHelp = false;
    bool showVersion = false;
    OutputForm form = OutputForm::Utf8Lines;
    /// --process: text lines get a fifth field, the process that made the change (empty when
    /// the engine does not know it). JSON carries the process whenever it is known.
    bool showProcess = false;
    /// The gates of the five kinds; the other boxes stay clear (no list, no automatic clearing).
    MonitorOptions options;
    bool duplicateWindow = true;
    /// --catch-up: the tree's snapshot is saved at the end and compared at the next start, and
    /// after an overflow the tree is compared again.
    bool catchUp = false;
    /// Folder for the daily log; empty when no log is written.
    std::string logDirectory;
    /// The folder to watch, as given.
    std::string folder;
    /// --exclude, --include and --exclude-from in the order given; the file ones not read yet.
    std::vector<IgnoreOption> ignoreOptions;
    /// --gitignore: the tree's own .gitignore files and .git/info/exclude count too, below the
    /// patterns of the options.
    bool treeIgnoreFiles = false;
    /// The rules they make (BuildIgnoreRules), set by the caller once the files are read; null
    /// for none.
    std::shared_ptr<const IgnoreRules> ignoreRules;
};

/// Parses the arguments after the program's name. On error returns nothing and sets error to
/// a one-line explanation (UTF-8).
std::optional<WatchArguments> ParseWatchArguments(const std::vector<std::string>& args,
                                                  std::string& error);

/// The text of --help (UTF-8, ends with a line end).
std::string HelpText();
/// The text of --version (ends with a line end).
std::string VersionText();

}  // namespace qzx::cli
