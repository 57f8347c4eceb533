// Where the choice is kept and how the helper is started.
#include "app/qt/ElevatedWatching.h"

#include <unistd.h>

#include <QSettings>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "watch/HelperSource.h"

#ifndef QZX_HELPER_INSTALL_PATH
#define QZX_HELPER_INSTALL_PATH "/usr/libexec/qzxfile/qzxfile-helper"
#endif

namespace qzx {
namespace {

constexpr const char* kKey = "watch/elevated";

QSettings Settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "QzxFile", "qzxfile");
}

}  // namespace

bool ElevatedWatchingOn() { return Settings().value(kKey, false).toBool(); }

void SetElevatedWatching(bool on) {
    QSettings settings = Settings();
    settings.setValue(kKey, on);
    settings.sync();
}

std::unique_ptr<ChangeSource> CreateWindowSource() {
    // As root the platform's source already knows processes.
    if (!ElevatedWatchingOn() || ::geteuid() == 0) return CreateChangeSource();
    const char* path = std::getenv("QZX_HELPER_PATH");
    const char* elevation = std::getenv("QZX_HELPER_ELEVATION");
    std::vector<std::string> command;
    if (!elevation) {
        command.push_back("pkexec");
    } else {
        std::istringstream words(elevation);
        for (std::string word; words >> word;) command.push_back(word);
    }
    return CreateHelperSource(std::move(command), path && *path ? path : QZX_HELPER_INSTALL_PATH,
                              &CreateChangeSource);
}

}  // namespace qzx
