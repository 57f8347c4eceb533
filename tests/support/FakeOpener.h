// Records what the program asked the desktop to open.
#pragma once

#include <string>
#include <vector>

#include "app/DesktopOpener.h"

namespace qzx::test {

class FakeOpener final : public DesktopOpener {
  public:
    std::vector<std::string> urls;
    std::vector<std::string> folders;
    bool OpenUrl(const std::string& url) override {
        urls.push_back(url);
        return true;
    }
    void OpenFolder(const std::string& folder) override { folders.push_back(folder); }
};

}  // namespace qzx::test
