// The fetch rules of the online notices on top of any HTTP client.
#include "online/HttpTools.h"

#include <algorithm>

namespace qzx {
namespace {

// The number was once drawn from a freshly seeded generator and so never changed; servers may
// rely on it, so it stays fixed.
constexpr const char* kRandomNumber = "39";

std::string WithoutLineEnds(std::string text) {
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
        text.end());
    return text;
}

// Line ends go after decoding: in UTF-8 a CR or LF byte is always the character itself, which
// need not hold in every charset a server may declare.
std::string BodyText(const HttpResponse& response, TextDecoder decode) {
    return WithoutLineEnds(decode != nullptr ? decode(response.body, response.charset)
                                             : response.body);
}

}  // namespace

HttpTools::HttpTools(HttpGet& http, FetchLimits limits, TextDecoder decode)
    : http(http), limits(limits), decode(decode) {}

std::string HttpTools::RequestAddress(const std::string& url) {
    const char* separator = url.find('?') == std::string::npos ? "?rnum=" : "&rnum=";
    return url + separator + kRandomNumber;
}

int HttpTools::FetchText(const std::string& url, std::string& out,
                         const std::atomic<bool>* stop) const {
    if (url.empty()) return 0;
    HttpRequest request;
    request.url = RequestAddress(url);
    request.userAgent = kUserAgent;
    request.connectTimeoutMs = limits.connectTimeoutMs;
    request.totalTimeoutMs = limits.totalTimeoutMs;
    request.maxBodyBytes = limits.maxBodyBytes;
    request.bodyOnlyWhenOk = true;
    request.stop = stop;
    const HttpResponse response = http.Get(request);
    switch (response.outcome) {
        case HttpOutcome::SetupFailed:
            return 0;
        case HttpOutcome::Complete:
            out = response.status == 200 ? BodyText(response, decode) : std::string();
            return 1;
        case HttpOutcome::TransportError:
        case HttpOutcome::TooLarge:
        case HttpOutcome::Stopped:
            // Only the body of a 200 is ever text of the document; anything else is noise.
            out = response.status == 200 ? BodyText(response, decode) : std::string();
            return 0;
    }
    return 0;
}

}  // namespace qzx
