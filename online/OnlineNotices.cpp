// Runs the notices' fetches on threads of their own and hands the results back to the GUI
// thread, so that a slow or silent server never freezes the window.
#include "online/OnlineNotices.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "online/HttpTools.h"

namespace qzx {

FetchFunction FetchThrough(const HttpTools& tools) {
    return [&tools](const std::string& url, std::string& out, const std::atomic<bool>& stop) {
        return tools.FetchText(url, out, &stop);
    };
}

// One fetch on its own thread. The GUI thread starts it, asks it to stop and joins it; the
// thread only writes the result and raises done.
class OnlineNotices::Job {
  public:
    Job(const FetchFunction& fetch, std::string url, const std::function<void()>& fetchDone)
        : url(std::move(url)) {
        thread = std::thread([this, fetch, fetchDone] { Run(fetch, fetchDone); });
    }
    ~Job() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    bool Done() const { return done.load(); }
    void RequestStop() { stop = true; }
    // Only after Done(): the thread has written its last.
    int Result() const { return result; }
    const std::string& Text() const { return text; }

  private:
    void Run(const FetchFunction& fetch, const std::function<void()>& fetchDone) {
        // Nothing may leave a thread's entry: an exception would end the process.
        try {
            result = fetch(url, text, stop);
        } catch (...) {
            result = 0;
        }
        done = true;
        if (!fetchDone) return;
        try {
            fetchDone();
        } catch (...) {
        }
    }

    std::string url;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    int result = 0;
    std::string text;
    std::thread thread;
};

namespace {

// A thread that cannot be started counts as a fetch that failed at once.
template <typename JobT, typename... Args>
std::unique_ptr<JobT> StartJob(Args&&... args) {
    try {
        return std::make_unique<JobT>(std::forward<Args>(args)...);
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace

OnlineNotices::OnlineNotices(ServiceStrings strings, FetchFunction fetch,
                             std::function<void()> fetchDone)
    : strings(std::move(strings)),
      fetch(std::move(fetch)),
      fetchDone(std::move(fetchDone)),
      ticker(this->strings.linkUrlDefault, this->strings.linkTitleDefault) {}

OnlineNotices::~OnlineNotices() {
    // Ask both first, so that the two fetches wind down together rather than one after the other.
    if (feedJob) feedJob->RequestStop();
    if (updateJob) updateJob->RequestStop();
    feedJob.reset();
    updateJob.reset();
}

void OnlineNotices::ApplyFinished() {
    if (feedJob && feedJob->Done()) {
        ticker.TakeFeed(feedJob->Result(), feedJob->Text());
        feedJob.reset();
    }
    if (updateJob && updateJob->Done()) {
        // The result is not consulted: a document cut short may still carry its version.
        pendingOffer = UpdateCheck::Evaluate(updateJob->Text(), strings.siteUrl);
        updateJob.reset();
    }
}

TickerView OnlineNotices::AdvanceTicker() {
    ApplyFinished();
    const bool wantsFeed = ticker.Advance();
    if (wantsFeed && !feedJob && !strings.feedUrl.empty()) {
        feedJob = StartJob<Job>(fetch, strings.feedUrl, fetchDone);
    }
    return TickerView{ticker.Title(), ticker.ColorCode(), TickerColor(ticker.ColorCode())};
}

void OnlineNotices::StartUpdateCheck() {
    if (updateStarted) return;
    updateStarted = true;
    if (strings.updateInfoUrl.empty()) return;
    updateJob = StartJob<Job>(fetch, strings.updateInfoUrl, fetchDone);
}

std::optional<UpdateOffer> OnlineNotices::Poll() {
    ApplyFinished();
    return std::exchange(pendingOffer, std::nullopt);
}

std::string OnlineNotices::TickerClickTarget() const { return ticker.ClickTarget(); }

}  // namespace qzx
