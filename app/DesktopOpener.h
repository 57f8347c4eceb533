// Hands a web address or a folder to the desktop, behind a seam so that tests see what opens.
#pragma once

#include <string>

#include "records/FileSystem.h"

namespace qzx {

/// The desktop's "open". GUI thread; never waits for the opened program.
class DesktopOpener {
  public:
    virtual ~DesktopOpener() = default;
    /// Opens a web address in the user's browser; callers pass only http and https addresses.
    /// False when the address could not be handed over (the desktop refused it), so that the
    /// caller can fall back to another; true says nothing about the page loading.
    virtual bool OpenUrl(const std::string& url) = 0;
    /// Shows a folder (UTF-8 path) in the user's file manager.
    virtual void OpenFolder(const std::string& folder) = 0;
};

/// The rule both shells keep, around the desktop's opener: a folder is handed over only while it
/// is one. "Open" on a file runs it or opens it in a program, so a row's folder that has since
/// become a file, or is gone, opens nothing. Web addresses pass through. GUI thread.
class FolderCheckingOpener final : public DesktopOpener {
  public:
    FolderCheckingOpener(DesktopOpener& desktop, const FileSystem& files)
        : desktop(desktop), files(files) {}
    bool OpenUrl(const std::string& url) override { return desktop.OpenUrl(url); }
    void OpenFolder(const std::string& folder) override {
        if (files.PathExistsAs(folder, true)) desktop.OpenFolder(folder);
    }

  private:
    DesktopOpener& desktop;
    const FileSystem& files;
};

}  // namespace qzx
