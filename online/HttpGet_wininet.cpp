// The HTTP client over WinINet: the user's Internet settings (proxy included) for free. The
// transfer runs on a thread of its own so that a stop or the deadline ends Get at once, even
// where closing a handle does not interrupt a call that waits for a silent server.
#include <windows.h>
// Needs the types that windows.h declares.
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "base/WideText_win32.h"
#include "online/HttpGet.h"
#include "online/WebAddress.h"

namespace qzx {
namespace {

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

void SetTimeout(HINTERNET handle, DWORD option, int ms) {
    DWORD value = ms > 0 ? static_cast<DWORD>(ms) : 1;
    ::InternetSetOptionW(handle, option, &value, sizeof value);
}

// One transfer, shared between Get and the thread that runs it. When Get gives up on it, it
// closes the session, which on Windows makes every waiting call return; the thread then only
// finishes, touching no handle again.
struct Transfer {
    explicit Transfer(const HttpRequest& request)
        : url(Widen(request.url)),
          connectTimeoutMs(request.connectTimeoutMs),
          totalTimeoutMs(request.totalTimeoutMs),
          maxBodyBytes(request.maxBodyBytes),
          bodyOnlyWhenOk(request.bodyOnlyWhenOk) {}

    const std::wstring url;
    const int connectTimeoutMs;
    const int totalTimeoutMs;
    const std::size_t maxBodyBytes;
    const bool bodyOnlyWhenOk;
    HINTERNET session = nullptr;

    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;                   // under mutex
    std::atomic<bool> abandoned{false};  // set under mutex, read anywhere
    HttpResponse response;               // the thread's until done, Get's after

    void Run() noexcept {
        HINTERNET connection = nullptr;
        HINTERNET request = nullptr;
        try {
            Perform(connection, request);
        } catch (...) {
            response.outcome = HttpOutcome::TransportError;
        }
        std::lock_guard<std::mutex> lock(mutex);
        // Closed with the session when Get gave up; closing them again could hit a handle
        // that a later transfer was given meanwhile.
        if (!abandoned) {
            if (request != nullptr) ::InternetCloseHandle(request);
            if (connection != nullptr) ::InternetCloseHandle(connection);
        }
        done = true;
        changed.notify_all();
    }

    void Perform(HINTERNET& connection, HINTERNET& request) {
        response.outcome = HttpOutcome::TransportError;
        URL_COMPONENTSW parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = 1;
        parts.dwUrlPathLength = 1;
        parts.dwExtraInfoLength = 1;
        if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return;
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) return;
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
        target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (target.empty()) target = L"/";

        connection = ::InternetConnectW(session, host.c_str(), parts.nPort, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0);
        if (connection == nullptr || abandoned) return;
        // Always the server's current document: the cache would hand out yesterday's news.
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                      INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
        if (secure) flags |= INTERNET_FLAG_SECURE;
        request = ::HttpOpenRequestW(connection, L"GET", target.c_str(), nullptr, nullptr, nullptr,
                                     flags, 0);
        if (request == nullptr || abandoned) return;
        // Set on the request itself: not every WinINet passes a session's time-outs down.
        SetTimeout(request, INTERNET_OPTION_CONNECT_TIMEOUT, connectTimeoutMs);
        SetTimeout(request, INTERNET_OPTION_SEND_TIMEOUT, totalTimeoutMs);
        SetTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, totalTimeoutMs);
        if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0) || abandoned) return;

        DWORD status = 0;
        if (QueryNumber(request, HTTP_QUERY_STATUS_CODE, status))
            response.status = static_cast<int>(status);
        response.charset = CharsetOfContentType(QueryText(request, HTTP_QUERY_CONTENT_TYPE));
        if (bodyOnlyWhenOk && response.status != 200) {
            // Reading a body nobody uses would only cost time; ending here is no error.
            response.outcome = HttpOutcome::Complete;
            return;
        }
        DWORD announced = 0;
        const bool hasLength = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, announced);
        char buffer[16 * 1024];
        for (;;) {
            DWORD got = 0;
            if (abandoned || !::InternetReadFile(request, buffer, sizeof buffer, &got)) return;
            if (got == 0) break;
            const size_t room = maxBodyBytes - response.body.size();
            if (got > room) {
                response.body.append(buffer, room);
                response.outcome = HttpOutcome::TooLarge;
                return;
            }
            response.body.append(buffer, got);
        }
        // A connection dropped before the announced length leaves the body cut short, which
        // WinINet reports as a plain end.
        if (hasLength && response.body.size() < announced) return;
        response.outcome = HttpOutcome::Complete;
    }
};

class WinInetHttpGet : public HttpGet {
  public:
    HttpResponse Get(const HttpRequest& request) override {
        HttpResponse failed;
        // A document address must never reach ftp: or a local file.
        if (!IsWebAddress(request.url)) {
            failed.outcome = HttpOutcome::TransportError;
            return failed;
        }
        auto transfer = std::make_shared<Transfer>(request);
        transfer->session = ::InternetOpenW(Widen(request.userAgent).c_str(),
                                            INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (transfer->session == nullptr) return failed;
        SetTimeout(transfer->session, INTERNET_OPTION_CONNECT_TIMEOUT, request.connectTimeoutMs);
        SetTimeout(transfer->session, INTERNET_OPTION_SEND_TIMEOUT, request.totalTimeoutMs);
        SetTimeout(transfer->session, INTERNET_OPTION_RECEIVE_TIMEOUT, request.totalTimeoutMs);
        std::thread worker;
        try {
            worker = std::thread([transfer] { transfer->Run(); });
        } catch (const std::system_error&) {
            ::InternetCloseHandle(transfer->session);
            return failed;
        }

        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(request.totalTimeoutMs);
        // The stop flag is a plain flag, so it is looked at often.
        constexpr auto kPoll = std::chrono::milliseconds(50);
        std::unique_lock<std::mutex> lock(transfer->mutex);
        for (;;) {
            if (transfer->done) break;
            const bool stopAsked = request.stop != nullptr && request.stop->load();
            if (stopAsked || std::chrono::steady_clock::now() >= deadline) {
                transfer->abandoned = true;
                lock.unlock();
                ::InternetCloseHandle(transfer->session);
                // The thread holds its own share of the transfer and ends when its call
                // returns; on Windows that is now, elsewhere at the latest at the time-outs
                // set on the request.
                worker.detach();
                HttpResponse given;
                given.outcome = stopAsked ? HttpOutcome::Stopped : HttpOutcome::TransportError;
                return given;
            }
            transfer->changed.wait_for(lock, kPoll);
        }
        lock.unlock();
        worker.join();
        ::InternetCloseHandle(transfer->session);
        return std::move(transfer->response);
    }
};

}  // namespace

std::unique_ptr<HttpGet> MakeHttpGet() { return std::make_unique<WinInetHttpGet>(); }

}  // namespace qzx
