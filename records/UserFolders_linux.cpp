// The user's folders on Linux, from the environment.
#include "records/UserFolders_linux.h"

#include <stdlib.h>

namespace qzx {
namespace {

std::string WithSlash(std::string_view folder) {
    std::string out(folder);
    if (out.back() != '/') out += '/';
    return out;
}

std::string ProgramFolderIn(std::string_view xdgValue, std::string_view home,
                            std::string_view belowHome) {
    if (!xdgValue.empty() && xdgValue.front() == '/') return WithSlash(xdgValue) + "qzxfile/";
    if (!home.empty() && home.front() == '/') {
        return WithSlash(home) + std::string(belowHome) + "/qzxfile/";
    }
    return {};
}

}  // namespace

std::string UserConfigFolder(std::string_view xdgConfigHome, std::string_view home) {
    return ProgramFolderIn(xdgConfigHome, home, ".config");
}

std::string UserStateFolder(std::string_view xdgStateHome, std::string_view home) {
    return ProgramFolderIn(xdgStateHome, home, ".local/state");
}

std::string EnvironmentValue(const char* name) {
    const char* value = ::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace qzx
