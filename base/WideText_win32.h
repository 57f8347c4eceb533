// UTF-8 inside the program, UTF-16 at the Win32 API: the two conversions every W call needs.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// UTF-8 to UTF-16; an invalid byte becomes U+FFFD. Any thread.
std::wstring Widen(std::string_view utf8);

/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Any thread.
std::string Narrow(std::wstring_view utf16);

/// A UTF-8 path as the wide-character file calls take it: separators made "\", and a full
/// path given the "\\?\" form so that it may pass the 260-character limit. Relative paths are
/// made full first; the result is empty for an empty path. Any thread.
std::wstring WidePath(std::string_view utf8Path);

}  // namespace qzx
