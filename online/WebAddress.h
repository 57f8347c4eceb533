// The one rule for what may be handed to the desktop's opener.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// True when address begins with "http://" or "https://" (scheme in any letter case), has
/// something after it and holds no control byte. Anything else that an online document carries
/// (file:, javascript:, a UNC or local path) must never be opened. Any thread.
bool IsWebAddress(std::string_view address);

/// The address with every printable ASCII character that may not stand in an address as it is
/// (blank, '"', '<', '>', '^', '`', '{', '|', '}') written as %XX, so that a strict parser
/// takes what a browser would. Everything else, '%', '\' and non-ASCII bytes included, stays as
/// it was (a browser reads '\' as '/'). Any thread.
std::string EscapeWebAddress(std::string_view address);

}  // namespace qzx
