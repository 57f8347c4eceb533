// Records what the program asked the desktop to open.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/DesktopOpener.h"

namespace qzx::test {

class FakeOpener final : public DesktopOpener {
  public:
    std::vector<std::string> urls;
    /// Addresses the desktop refuses (OpenUrl returns false for them; they are still listed).
    std::set<std::string> refused;
    std::vector<std::string> folders;
    bool OpenUrl(const std::string& url) override {
        urls.push_back(url);
        return refused.count(url) == 0;
    }
    void OpenFolder(const std::string& folder) override { folders.push_back(folder); }
};

}  // namespace qzx::test
