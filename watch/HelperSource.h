// The change source of the window that watches through qzxfile-helper, started with an
// administrator's consent (pkexec), so that the window itself never runs as root. What the
// helper streams becomes the same sink calls as any other source's, so the recorder, the log,
// the export and the ignore rules do not know the difference.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "watch/ChangeSource.h"

namespace qzx {

/// How the helper is started: elevation is the command put before it ({"pkexec"} for the
/// desktop; empty runs it as this process, which a test running as root does), helper its
/// absolute path. fallback makes the source watched with when the helper is refused (the
/// password dismissed or wrong: pkexec's 126 and 127), cannot be started, or fails before it
/// is ready; Engine() then says which runs and why. A helper that ends after it was ready
/// ends the run (OnEnded), with the reason in Engine().
std::unique_ptr<ChangeSource> CreateHelperSource(
    std::vector<std::string> elevation, std::string helper,
    std::function<std::unique_ptr<ChangeSource>()> fallback);

}  // namespace qzx
