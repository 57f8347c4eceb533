// The user's ignore list on Linux: in the settings folder of the base-directory convention.
#include "records/IgnoreFile.h"
#include "records/UserFolders_linux.h"

namespace qzx {

IgnoreFilePlace SystemIgnoreFile() {
    const std::string folder =
        UserConfigFolder(EnvironmentValue("XDG_CONFIG_HOME"), EnvironmentValue("HOME"));
    return {folder.empty() ? folder : folder + "ignore", "\n"};
}

}  // namespace qzx
