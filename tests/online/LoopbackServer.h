// The HTTP server of the fetch tests, on the loopback interface: the Linux tests run it in their
// own process, and qzx_loopback_server runs it for the Windows tests under Wine.
#pragma once

#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qzx::test {

class LoopbackServer {
  public:
    LoopbackServer() {
        // A proxy set for the developer's own browsing must not catch loopback requests.
        setenv("NO_PROXY", "127.0.0.1", 1);
        setenv("no_proxy", "127.0.0.1", 1);
        Routes();
        port = server.bind_to_any_port("127.0.0.1");
        // The socket listens from here on; connections queue until the loop accepts them.
        thread = std::thread([this] { server.listen_after_bind(); });
        // stop() does nothing before the accept loop runs, so the loop must be up before any
        // test can end.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackServer() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = true;
        }
        changed.notify_all();
        server.stop();
        thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    std::string LastTarget() {
        std::lock_guard<std::mutex> lock(mutex);
        return lastTarget;
    }
    std::string LastAgent() {
        std::lock_guard<std::mutex> lock(mutex);
        return lastAgent;
    }

    std::string feed;

  private:
    void Routes() {
        server.Get("/text", [this](const httplib::Request& req, httplib::Response& res) {
            // Noted before the answer goes out, so the client cannot see it first.
            {
                std::lock_guard<std::mutex> lock(mutex);
                lastTarget = req.target;
                lastAgent = req.get_header_value("User-Agent");
            }
            res.set_content("first\r\nsec\rond\r\nlast", "text/plain");
        });
        server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        server.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/text", 301);
        });
        server.Get("/gbk", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("\xBA\xC3\xCF\xFB\xCF\xA2\n", "text/plain");
        });
        server.Get("/utf8", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("好消息\n", "text/plain; charset=utf-8");
        });
        server.Get("/bad-gbk", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok\x81\x20z\xFF", "text/plain");
        });
        server.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            const size_t total = 50u << 20;
            res.set_content_provider(
                total, "text/plain", [](size_t offset, size_t length, httplib::DataSink& sink) {
                    static const std::string chunk(64 * 1024, 'x');
                    (void)offset;
                    return sink.write(chunk.data(), std::min(length, chunk.size()));
                });
        });
        server.Get("/reset", [](const httplib::Request&, httplib::Response& res) {
            // Promises more than it sends, then drops the connection.
            res.set_content_provider(100000, "text/plain",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;
                                         const std::string part = "line1\r\nline2\r\nli";
                                         return sink.write(part.data(), part.size());
                                     });
        });
        server.Get("/silent", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [this] { return released; });
            res.set_content("late", "text/plain");
        });
        // What /text saw last, for a client in another process.
        server.Get("/last", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(LastTarget() + "\n" + LastAgent(), "text/plain; charset=utf-8");
        });
        server.Get("/feed", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(feed, "text/plain; charset=utf-8");
        });
    }

    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::string lastTarget;
    std::string lastAgent;
};

}  // namespace qzx::test
