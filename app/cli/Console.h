// What qzxwatch needs of the terminal and the process: stop signals, output, local time.
#pragma once

#include <string>
#include <vector>

#include "base/Clock.h"

namespace qzx::cli {

/// Call first thing in main, before any thread exists: SIGINT and SIGTERM (on Windows Ctrl+C,
/// Ctrl+Break and closing the console) are then only taken by WaitForStopSignal, and a closed
/// output shows as a failed write instead of ending the process.
void PrepareStopSignals();
/// The arguments after the program's name, in UTF-8 whatever the system's own encoding.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
/// Tells the output whether its bytes are GBK (--gbk) rather than UTF-8. A terminal that takes
/// characters rather than bytes is then given the text it can show.
void SetOutputGbk(bool gbk);
/// Waits up to timeoutMs for a request to stop; true when one came. Main thread.
bool WaitForStopSignal(int timeoutMs);
/// Any thread: ends the main thread's WaitForStopSignal in progress, or its next one, early
/// and without a stop.
void WakeMain();
/// Writes all bytes to standard output and flushes; false when that failed.
bool WriteOut(const std::string& bytes);
/// Writes a line to standard error, adding the line end.
void WriteErrLine(const std::string& line);
/// True when standard error is the systemd journal: JOURNAL_STREAM (which systemd sets for a
/// service whose output goes there) names the device and inode of standard error itself. A
/// line may then start with its syslog priority as "<4>".
bool ErrIsJournal();
/// Offset of local time from UTC in minutes at the given local time.
int UtcOffsetMinutes(const LocalTime& when);
/// A monotonic clock in milliseconds.
long long SteadyMs();

}  // namespace qzx::cli
