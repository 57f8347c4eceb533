// The snapshots' places on Linux: the service's own state directory, else the user's.
#include "records/SnapshotPlace.h"
#include "records/UserFolders_linux.h"

namespace qzx {

std::string SystemSnapshotFolder() {
    // systemd may list several directories, separated by ":"; the first is the unit's own.
    std::string service = EnvironmentValue("STATE_DIRECTORY");
    service = service.substr(0, service.find(':'));
    if (!service.empty() && service[0] == '/') {
        if (service.back() != '/') service += '/';
        return service + "snapshots/";
    }
    const std::string folder =
        UserStateFolder(EnvironmentValue("XDG_STATE_HOME"), EnvironmentValue("HOME"));
    return folder.empty() ? folder : folder + "snapshots/";
}

std::string SystemCatchUpSettingFile() {
    const std::string folder =
        UserConfigFolder(EnvironmentValue("XDG_CONFIG_HOME"), EnvironmentValue("HOME"));
    return folder.empty() ? folder : folder + "catch-up";
}

}  // namespace qzx
