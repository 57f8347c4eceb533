// The seam to an HTTP client: one GET, bounded in time and size, abortable.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qzx {

/// What one GET asks of the client.
struct HttpRequest {
    std::string url;
    std::string userAgent;
    int connectTimeoutMs = 5000;
    int totalTimeoutMs = 10000;
    /// Bytes of body kept at most; a longer body ends the transfer with HttpOutcome::TooLarge.
    std::size_t maxBodyBytes = std::size_t{1} << 20;
    /// When true the body of a final status other than 200 is not read at all.
    bool bodyOnlyWhenOk = true;
    /// Polled while the transfer runs; once true the transfer ends soon with Stopped. May be null.
    const std::atomic<bool>* stop = nullptr;
};

enum class HttpOutcome {
    Complete,        ///< A final response arrived whole (any status).
    TransportError,  ///< Name lookup, connection, time-out or read error; body holds what arrived.
    TooLarge,        ///< The body passed maxBodyBytes; body holds the first maxBodyBytes.
    Stopped,         ///< The stop flag ended the transfer; body holds what arrived.
    SetupFailed,     ///< The client could not be set up; nothing was sent.
};

/// What one GET gave back. Body bytes are raw, as the server sent them.
struct HttpResponse {
    HttpOutcome outcome = HttpOutcome::SetupFailed;
    int status = 0;  ///< Status of the final response after redirects; 0 when none arrived.
    std::string body;
    std::string charset;  ///< Charset declared by the response's Content-Type; empty when none.
};

/// One HTTP client. Get follows redirects, takes the proxy from the usual environment variables,
/// only speaks http and https, and never throws. Each Get is independent; an object may be used
/// from several threads at once.
class HttpGet {
  public:
    virtual ~HttpGet() = default;
    /// Performs one GET; blocks the calling thread for at most the request's total time-out.
    virtual HttpResponse Get(const HttpRequest& request) = 0;
};

/// The platform's HTTP client; defined by the backend file that the build picks.
std::unique_ptr<HttpGet> MakeHttpGet();

/// The charset parameter of a Content-Type value, without quotes; empty when none. Any thread.
std::string CharsetOfContentType(std::string_view contentType);

}  // namespace qzx
