// Fetching one small text document for the online notices.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "base/Gbk.h"
#include "online/HttpGet.h"

namespace qzx {

/// Limits of one fetch; the defaults are the program's.
struct FetchLimits {
    int connectTimeoutMs = 5000;
    int totalTimeoutMs = 10000;
    std::size_t maxBodyBytes = std::size_t{1} << 20;
};

/// Reads a fetched body: bytes in the named charset (GBK when the name is empty) to UTF-8. A
/// null decoder keeps the bytes as they came.
using TextDecoder = std::string (*)(std::string_view bytes, std::string_view charset);

/// Fetches text documents through an HTTP client. Stateless apart from the client it borrows;
/// FetchText may be called from any thread, several at once.
class HttpTools {
  public:
    /// The client must outlive this object. Bodies are read with decode; the default, the
    /// system's ToUtf8, is named here rather than inside the fetch rules so that only callers
    /// that take it need the charset library.
    explicit HttpTools(HttpGet& http, FetchLimits limits = {}, TextDecoder decode = &ToUtf8);

    /// GETs url with "?rnum=39" or "&rnum=39" added and the user agent "QzxFile". Returns 0 and
    /// leaves out untouched for an empty url or a client that cannot be set up; 1 with the whole
    /// body for status 200; 1 with out empty for any other status; 0 with what arrived for a
    /// transport error, a stop, or a body over the size limit (cut at the limit). The body is
    /// read as GBK unless the response declares a charset, and out is UTF-8 with every CR and
    /// LF removed.
    int FetchText(const std::string& url, std::string& out,
                  const std::atomic<bool>* stop = nullptr) const;

    /// The address actually requested for url: url, then "?rnum=" or (when url holds a "?")
    /// "&rnum=", then 39.
    static std::string RequestAddress(const std::string& url);

  private:
    HttpGet& http;
    FetchLimits limits;
    TextDecoder decode;
};

/// The user agent of every request.
inline constexpr const char* kUserAgent = "QzxFile";

}  // namespace qzx
