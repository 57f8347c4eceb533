// Conversions at the program's edges: files are written in GBK, online documents may arrive in it.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// UTF-8 to GBK. A character that GBK lacks, and any byte that is not valid UTF-8, becomes "?".
/// Any thread.
std::string Utf8ToGbk(std::string_view utf8);

/// Bytes in the named charset (GBK when charset is empty) to UTF-8. An invalid sequence becomes
/// U+FFFD; an unknown charset is read as GBK. Any thread.
std::string ToUtf8(std::string_view bytes, std::string_view charset = {});

}  // namespace qzx
