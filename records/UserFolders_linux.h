// Linux's rules for the program's folders in the user's home: the base-directory convention's
// variables, else their defaults below the home folder.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// The program's settings folder: xdgConfigHome, else home + "/.config", then "qzxfile/".
/// Relative values count as unset, as the convention asks; empty when neither gives an absolute
/// folder. Any thread.
std::string UserConfigFolder(std::string_view xdgConfigHome, std::string_view home);

/// The program's state folder: xdgStateHome, else home + "/.local/state", then "qzxfile/";
/// empty when neither gives an absolute folder. Any thread.
std::string UserStateFolder(std::string_view xdgStateHome, std::string_view home);

/// The value of an environment variable, empty when it is not set. Any thread, as long as no
/// thread changes the environment.
std::string EnvironmentValue(const char* name);

}  // namespace qzx
