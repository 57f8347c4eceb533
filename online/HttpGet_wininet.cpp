// The HTTP client over WinINet: the user's Internet settings (proxy included) for free, and
// a watchdog that closes the session to end a transfer on stop or at the deadline.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/WideText_win32.h"
#include "online/HttpGet.h"

namespace qzx {
namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const { ::InternetCloseHandle(handle); }
};
using UniqueInternet = std::unique_ptr<void, InternetCloser>;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Ends a blocking transfer from outside. WinINet lets another thread close a session handle,
// and every call still running on it or on its requests then returns with an error; after that
// the transfer's thread must not touch the handles again, so the session is closed here, once.
class Watchdog {
  public:
    Watchdog(HINTERNET session, const std::atomic<bool>* stop, std::chrono::milliseconds total)
        : session(session), stop(stop), deadline(std::chrono::steady_clock::now() + total) {
        thread = std::thread([this] { Watch(); });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        changed.notify_all();
        thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    /// True once the session was closed here; the caller then leaves its handles alone.
    bool Fired() {
        std::lock_guard<std::mutex> lock(mutex);
        return fired;
    }
    bool Stopped() {
        std::lock_guard<std::mutex> lock(mutex);
        return byStop;
    }

  private:
    void Watch() {
        // The stop flag is a plain flag, so it is looked at often; the deadline needs no polling.
        constexpr auto kPoll = std::chrono::milliseconds(50);
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            if (finished) return;
            const bool stopAsked = stop != nullptr && stop->load();
            if (stopAsked || std::chrono::steady_clock::now() >= deadline) {
                byStop = stopAsked;
                fired = true;
                ::InternetCloseHandle(session);
                return;
            }
            changed.wait_for(lock, kPoll);
        }
    }

    HINTERNET session;
    const std::atomic<bool>* stop;
    const std::chrono::steady_clock::time_point deadline;
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool fired = false;
    bool byStop = false;
    std::thread thread;
};

std::string QueryText(HINTERNET request, DWORD info) {
    DWORD bytes = 0;
    ::HttpQueryInfoW(request, info, nullptr, &bytes, nullptr);
    if (bytes == 0) return {};
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!::HttpQueryInfoW(request, info, value.data(), &bytes, nullptr)) return {};
    value.resize(bytes / sizeof(wchar_t));
    return Narrow(value);
}

bool QueryNumber(HINTERNET request, DWORD info, DWORD& number) {
    DWORD bytes = sizeof number;
    return ::HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &number, &bytes, nullptr) != 0;
}

class WinInetHttpGet : public HttpGet {
  public:
    HttpResponse Get(const HttpRequest& request) override {
        HttpResponse response;
        // A document address must never reach ftp: or a local file.
        if (!StartsWithNoCase(request.url, "http://") &&
            !StartsWithNoCase(request.url, "https://")) {
            response.outcome = HttpOutcome::TransportError;
            return response;
        }
        HINTERNET session = ::InternetOpenW(Widen(request.userAgent).c_str(),
                                            INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (session == nullptr) return response;
        DWORD connectMs = static_cast<DWORD>(request.connectTimeoutMs);
        DWORD totalMs = static_cast<DWORD>(request.totalTimeoutMs);
        ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
        ::InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &totalMs, sizeof totalMs);
        ::InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &totalMs, sizeof totalMs);

        {
            Watchdog watchdog(session, request.stop,
                              std::chrono::milliseconds(request.totalTimeoutMs));
            Transfer(session, request, response);
            if (watchdog.Fired()) {
                response.outcome =
                    watchdog.Stopped() ? HttpOutcome::Stopped : HttpOutcome::TransportError;
                return response;
            }
        }
        ::InternetCloseHandle(session);
        return response;
    }

  private:
    // Runs the request on session and fills response. Returns when the body is read, an error
    // happened, or the watchdog closed the session under it; false for a transport error.
    static bool Transfer(HINTERNET session, const HttpRequest& request, HttpResponse& response) {
        response.outcome = HttpOutcome::TransportError;
        // Always the server's current document: the cache would hand out yesterday's news.
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_NO_UI | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                            INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
        HINTERNET file =
            ::InternetOpenUrlW(session, Widen(request.url).c_str(), nullptr, 0, flags, 0);
        if (file == nullptr) return false;
        // Closing the session closes this one too; it is closed here only on the normal way.
        DWORD status = 0;
        if (QueryNumber(file, HTTP_QUERY_STATUS_CODE, status)) response.status = static_cast<int>(status);
        response.charset = CharsetOfContentType(QueryText(file, HTTP_QUERY_CONTENT_TYPE));
        if (request.bodyOnlyWhenOk && response.status != 200) {
            // Reading a body nobody uses would only cost time; ending here is no error.
            response.outcome = HttpOutcome::Complete;
            ::InternetCloseHandle(file);
            return true;
        }
        DWORD announced = 0;
        const bool hasLength = QueryNumber(file, HTTP_QUERY_CONTENT_LENGTH, announced);
        char buffer[16 * 1024];
        for (;;) {
            DWORD got = 0;
            if (!::InternetReadFile(file, buffer, sizeof buffer, &got)) {
                ::InternetCloseHandle(file);
                return false;
            }
            if (got == 0) break;
            const size_t room = request.maxBodyBytes - response.body.size();
            if (got > room) {
                response.body.append(buffer, room);
                response.outcome = HttpOutcome::TooLarge;
                ::InternetCloseHandle(file);
                return true;
            }
            response.body.append(buffer, got);
        }
        ::InternetCloseHandle(file);
        // A connection dropped before the announced length leaves the body cut short, which
        // WinINet reports as a plain end.
        if (hasLength && response.body.size() < announced) return false;
        response.outcome = HttpOutcome::Complete;
        return true;
    }
};

}  // namespace

std::unique_ptr<HttpGet> MakeHttpGet() { return std::make_unique<WinInetHttpGet>(); }

}  // namespace qzx
