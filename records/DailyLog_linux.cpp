// Where the log may go on Linux: the executable's folder from /proc, the user's state folder
// from the environment.
#include "records/DailyLog_linux.h"

#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/PathRules.h"
#include "records/DailyLog.h"
#include "records/UserFolders_linux.h"

namespace qzx {
namespace {

std::string ExecutableFolder() {
    std::vector<char> buffer(512);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        // A full buffer may mean a cut path: never derive a folder from half a name.
        if (static_cast<size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(n));
            size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        if (buffer.size() >= 65536) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string UserLogDirectory(std::string_view xdgStateHome, std::string_view home) {
    const std::string folder = UserStateFolder(xdgStateHome, home);
    return folder.empty() ? folder : folder + "log/";
}

std::string LogModuleFolder(std::string_view executableFolder) {
    std::string_view folder = executableFolder;
    while (!folder.empty() && folder.back() == kPathSeparator) folder.remove_suffix(1);
    const std::size_t slash = folder.rfind(kPathSeparator);
    const std::string_view name =
        slash == std::string_view::npos ? folder : folder.substr(slash + 1);
    // Folders of programs hold programs. Root may write /usr/bin, and a log made there would be
    // a folder that no package owns and no removal takes away.
    if (name == "bin" || name == "sbin") return {};
    return std::string(executableFolder);
}

LogLocations SystemLogLocations() {
    LogLocations places;
    places.moduleDirectory = LogModuleFolder(ExecutableFolder());
    places.userLogDirectory =
        UserLogDirectory(EnvironmentValue("XDG_STATE_HOME"), EnvironmentValue("HOME"));
    return places;
}

}  // namespace qzx
