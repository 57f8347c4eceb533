// The choice between the two Linux engines, made anew at every Start, and the program's own
// source (CreateChangeSource) made from it.
#include <utility>

#include "watch/EngineChoice.h"
#include "watch/InotifySource.h"
#include "watch/EngineTexts.h"

namespace qzx {
namespace {

class ChoosingSource final : public ChangeSource {
  public:
    ChoosingSource(FanotifyMaker fanotify, SourceMaker fallback)
        : makeFanotify(std::move(fanotify)), makeFallback(std::move(fallback)) {}
    ~ChoosingSource() override { Stop(); }

    bool Start(const std::string& folder, ChangeSink& sink) override {
        Stop();
        status = EngineStatus{};
        std::unique_ptr<FanotifySource> fanotify = makeFanotify ? makeFanotify() : nullptr;
        std::string reason;
        if (fanotify) {
            fanotify->SetIgnoreRules(ignoreRules);
            if (fanotify->Start(folder, sink)) {
                status = fanotify->Engine();
                running = std::move(fanotify);
                return true;
            }
            reason = fanotify->Refusal();
            // The folder itself cannot be watched: no other engine would do better.
            if (reason.empty()) return false;
        }
        std::unique_ptr<ChangeSource> fallback = makeFallback();
        if (!fallback) return false;
        // The folders the patterns skip are never watched, from the first one on.
        fallback->SetIgnoreRules(ignoreRules);
        fallback->ShareSetUpListing(listingTaker);
        if (!fallback->Start(folder, sink)) return false;
        status = EngineStatus{ChangeEngine::Inotify, false, texts::kEngineInotify, reason};
        if (!reason.empty()) {
            status.summary += texts::kEngineWhyNotOpen + reason + texts::kEngineWhyNotClose;
        }
        running = std::move(fallback);
        return true;
    }

    void Stop() override {
        if (running) running->Stop();
    }

    void StopAfterDraining() override {
        if (running) running->StopAfterDraining();
    }

    EngineStatus Engine() const override { return status; }

    void SetIgnoreRules(std::shared_ptr<const IgnoreRules> rules) override {
        ignoreRules = rules;
        if (running) running->SetIgnoreRules(std::move(rules));
    }

    // Only inotify's set-up walk lists the tree; fanotify's needs none.
    void ShareSetUpListing(SetUpListingTaker take) override { listingTaker = std::move(take); }

  private:
    FanotifyMaker makeFanotify;
    SourceMaker makeFallback;
    std::unique_ptr<ChangeSource> running;
    EngineStatus status;
    std::shared_ptr<const IgnoreRules> ignoreRules;
    SetUpListingTaker listingTaker;
};

}  // namespace

std::unique_ptr<ChangeSource> CreateChoosingSource(FanotifyMaker fanotify, SourceMaker fallback) {
    return std::make_unique<ChoosingSource>(std::move(fanotify), std::move(fallback));
}

std::unique_ptr<ChangeSource> CreateChangeSource() {
    return CreateChoosingSource([] { return CreateFanotifySource(); }, &CreateInotifySource);
}

}  // namespace qzx
