// The one wording of a process in a row.
#include "watch/ProcessInfo.h"

namespace qzx {

std::string ProcessLabel(const ProcessInfo& process) {
    const std::string pid = std::to_string(process.pid);
    if (process.name.empty()) return pid;
    return process.name + "(" + pid + ")";
}

}  // namespace qzx
