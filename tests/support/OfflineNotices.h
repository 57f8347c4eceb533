// Online notices that never reach the network: every fetch fails, or returns what the test says.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "online/OnlineNotices.h"

namespace qzx::test {

/// Documents a test serves by address; an address not listed fails to fetch.
struct FakeWeb {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> documents;
    int fetches = 0;

    FetchFunction Fetcher() {
        return [this](const std::string& url, std::string& out, const std::atomic<bool>&) {
            std::lock_guard<std::mutex> lock(mutex);
            ++fetches;
            for (const auto& [address, text] : documents) {
                if (address == url) {
                    out = text;
                    return 1;
                }
            }
            return 0;
        };
    }
};

/// A fetch that always fails: notices that stay offline, for benchmarks and pictures.
inline FetchFunction NoFetch() {
    return [](const std::string&, std::string&, const std::atomic<bool>&) { return 0; };
}

/// Service strings with addresses on the domain reserved for examples.
inline ServiceStrings ExampleStrings() {
    ServiceStrings s;
    s.linkUrlDefault = "http://link.example/";
    s.linkTitleDefault = "默认标题";
    s.feedUrl = "http://feed.example/news.txt";
    s.siteUrl = "http://site.example/";
    s.updateInfoUrl = "http://update.example/update.txt";
    s.makerAddress = "http://maker.example/";
    return s;
}

}  // namespace qzx::test
