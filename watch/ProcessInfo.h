// The program behind a change, as far as the system could tell when the change was read.
#pragma once

#include <string>

namespace qzx {

/// A process that made a change. Only sources that learn it fill it in (fanotify); the others
/// leave a record's process empty and nothing is made up for them.
struct ProcessInfo {
    int pid = 0;
    /// Its short name as the system keeps it (at most 15 bytes on Linux), raw bytes; empty when
    /// the process had ended before it could be read, so that only its PID is known.
    std::string name;
    /// The absolute path of its program file where it could be read, raw bytes; else empty.
    std::string exe;
};

/// "name(pid)", or the PID alone when the name is not known, as one field for a row. UTF-8 when
/// the name is.
std::string ProcessLabel(const ProcessInfo& process);

}  // namespace qzx
