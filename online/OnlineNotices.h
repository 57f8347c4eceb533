// The two online notices as the window sees them: the news ticker and the update check, with
// their fetches run off the GUI thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "online/NewsTicker.h"
#include "online/ServiceStrings.h"
#include "online/UpdateCheck.h"

namespace qzx {

/// One fetch: FetchText's contract (result 1 or 0, UTF-8 text in out), ending soon once stop
/// turns true. Called on a fetch thread; must not throw (a throw counts as result 0).
using FetchFunction =
    std::function<int(const std::string& url, std::string& out, const std::atomic<bool>& stop)>;

class HttpTools;
/// The fetch that the programs use: tools.FetchText, stopped by the flag. tools must outlive
/// every fetch made through it.
FetchFunction FetchThrough(const HttpTools& tools);

/// What the ticker line shows after a tick.
struct TickerView {
    std::string title;      ///< UTF-8; may be empty (a blank ticker for this tick).
    std::string colorCode;  ///< The item's colour code as the feed gave it.
    Rgb color;              ///< The colour to draw title in.
};

/// Owns the ticker, the update check and their fetch threads, at most one fetch of each kind at
/// a time. Every member function is for the GUI thread only.
class OnlineNotices {
  public:
    /// fetchDone, when given, is called on a fetch thread as each fetch ends; it may only wake
    /// the GUI thread (for instance post an event that calls Poll), nothing else.
    OnlineNotices(ServiceStrings strings, FetchFunction fetch,
                  std::function<void()> fetchDone = nullptr);
    /// Asks running fetches to stop and joins them; returns quickly even while a server is silent.
    ~OnlineNotices();
    OnlineNotices(const OnlineNotices&) = delete;
    OnlineNotices& operator=(const OnlineNotices&) = delete;

    /// Replaces fetchDone for the fetches started from now on (one under way keeps its own).
    void SetFetchDone(std::function<void()> done) { fetchDone = std::move(done); }

    /// The ticker timer's tick, every 5 s: applies a finished feed fetch, advances the ticker
    /// and starts a feed fetch when there is no item and none is under way. The caller ends the
    /// watcher's duplicate window in the same handler, whatever the ticker does.
    TickerView AdvanceTicker();

    /// The update timer's one tick, 2 s after start: starts the update fetch; later calls do
    /// nothing. The caller stops the update timer first.
    void StartUpdateCheck();

    /// Applies finished fetches; returns the update offer to ask about, once, when the update
    /// document announced a newer version. Call it every ~50 ms or after fetchDone.
    std::optional<UpdateOffer> Poll();

    /// The address a click on the ticker opens (always a web address unless linkUrlDefault isn't).
    std::string TickerClickTarget() const;
    /// The ticker's default link, opened when the ticker's own link cannot be.
    const std::string& LinkUrlDefault() const { return strings.linkUrlDefault; }
    /// The maker's page, opened by "关于我们" and the banner.
    const std::string& SiteUrl() const { return strings.siteUrl; }
    /// The maker's address: in the window title and the ticker line before the first tick.
    const std::string& MakerAddress() const { return strings.makerAddress; }
    /// The ticker's state, for inspection.
    const NewsTicker& Ticker() const { return ticker; }

  private:
    class Job;

    void ApplyFinished();

    ServiceStrings strings;
    FetchFunction fetch;
    std::function<void()> fetchDone;
    NewsTicker ticker;
    std::unique_ptr<Job> feedJob;
    std::unique_ptr<Job> updateJob;
    bool updateStarted = false;
    std::optional<UpdateOffer> pendingOffer;
};

}  // namespace qzx
