// The HTTP client over libcurl.
#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "online/HttpGet.h"

namespace qzx {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using UniqueCurl = std::unique_ptr<CURL, CurlDeleter>;

// curl_global_init is not thread-safe and must run before any handle exists, even when the
// first fetches start on two threads at once.
bool GlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

struct Transfer {
    CURL* handle = nullptr;
    const HttpRequest* request = nullptr;
    std::string body;
    bool tooLarge = false;
    bool skippedBody = false;
};

// Runs inside libcurl: nothing may throw out of here.
size_t OnBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    try {
        if (transfer->request->bodyOnlyWhenOk) {
            long status = 0;
            curl_easy_getinfo(transfer->handle, CURLINFO_RESPONSE_CODE, &status);
            if (status != 200) {
                // Reading a body nobody uses would only cost time; ending here is no error.
                transfer->skippedBody = true;
                return 0;
            }
        }
        const size_t room = transfer->request->maxBodyBytes - transfer->body.size();
        if (bytes > room) {
            transfer->body.append(data, room);
            transfer->tooLarge = true;
            return 0;
        }
        transfer->body.append(data, bytes);
        return bytes;
    } catch (...) {
        return 0;
    }
}

// libcurl calls this often, also while it waits for a silent server, so a stop request ends
// the transfer without waiting for the time-out.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    const auto* transfer = static_cast<const Transfer*>(user);
    const std::atomic<bool>* stop = transfer->request->stop;
    return stop != nullptr && stop->load() ? 1 : 0;
}

class CurlHttpGet : public HttpGet {
  public:
    HttpResponse Get(const HttpRequest& request) override {
        HttpResponse response;
        if (!GlobalInit()) return response;
        UniqueCurl handle(curl_easy_init());
        if (!handle) return response;

        Transfer transfer;
        transfer.handle = handle.get();
        transfer.request = &request;
        CURL* h = handle.get();
        bool setup = true;
        auto set = [&setup](CURLcode code) { setup = setup && code == CURLE_OK; };
        set(curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()));
        set(curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str()));
        set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
        set(curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L));
        // A document address or a redirect must never reach file: or any other local scheme.
        set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(request.connectTimeoutMs)));
        set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeoutMs)));
        // Signals for time-outs would reach whatever thread the process happens to run.
        set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody));
        set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
        set(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress));
        set(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
        set(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
        if (!setup) return response;

        const CURLcode code = curl_easy_perform(h);
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        response.status = static_cast<int>(status);
        char* contentType = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
            response.charset = CharsetOfContentType(contentType);
        response.body = std::move(transfer.body);

        if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.skippedBody)) {
            response.outcome = HttpOutcome::Complete;
        } else if (code == CURLE_WRITE_ERROR && transfer.tooLarge) {
            response.outcome = HttpOutcome::TooLarge;
        } else if (code == CURLE_ABORTED_BY_CALLBACK) {
            response.outcome = HttpOutcome::Stopped;
        } else {
            response.outcome = HttpOutcome::TransportError;
        }
        return response;
    }
};

}  // namespace

std::unique_ptr<HttpGet> MakeHttpGet() { return std::make_unique<CurlHttpGet>(); }

}  // namespace qzx
