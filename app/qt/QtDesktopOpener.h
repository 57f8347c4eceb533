// The desktop's "open" through Qt (xdg-open on Linux).
#pragma once

#include "app/DesktopOpener.h"

namespace qzx {

class QtDesktopOpener final : public DesktopOpener {
  public:
    bool OpenUrl(const std::string& url) override;
    void OpenFolder(const std::string& folder) override;
};

}  // namespace qzx
