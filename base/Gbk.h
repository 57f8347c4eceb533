// Conversions at the program's edges: files are written in GBK, online documents may arrive in it.
#pragma once

#include <string>
#include <string_view>

namespace qzx {

/// Appends the encoded form of a UTF-8 text to out. Writers of files take one of these so that
/// the text building stays free of any charset library; the program passes AppendGbk.
using EncodeAppend = void (*)(std::string_view utf8, std::string& out);

/// UTF-8 to GBK. A character that GBK lacks, and any byte that is not valid UTF-8, becomes "?".
/// Any thread.
std::string Utf8ToGbk(std::string_view utf8);

/// Utf8ToGbk appending to out, without a new string per call: the form the file writers use.
/// Any thread.
void AppendGbk(std::string_view utf8, std::string& out);

/// Bytes in the named charset (GBK when charset is empty) to UTF-8. An invalid sequence becomes
/// U+FFFD; an unknown charset is read as GBK. Any thread.
std::string ToUtf8(std::string_view bytes, std::string_view charset = {});

}  // namespace qzx
