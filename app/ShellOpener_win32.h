// The Windows shell's "open" for web pages and folders.
#pragma once

#include "app/DesktopOpener.h"

namespace qzx {

/// Opens through ShellExecuteExW with the "open" verb. GUI thread; returns without waiting for
/// the program that opens the page or the folder.
class ShellDesktopOpener final : public DesktopOpener {
  public:
    /// Refuses anything but an http or https address, whatever the caller checked; false when
    /// refused or when the shell would not take it.
    bool OpenUrl(const std::string& url) override;
    /// folder is a UTF-8 path; anything but an existing folder is not opened.
    void OpenFolder(const std::string& folder) override;
};

}  // namespace qzx
