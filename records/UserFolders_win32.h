// The user's folders on Windows: the profile's environment variables, else the shell's answer.
#pragma once

#include <string>

namespace qzx {

/// A folder of the user's profile: the value of the environment variable when it is a full
/// path, else the shell's folder numbered csidl (a CSIDL_ value); as given, with or without a
/// trailing "\"; empty when neither knows it. Any thread.
std::wstring UserShellFolder(const wchar_t* variable, int csidl);

}  // namespace qzx
