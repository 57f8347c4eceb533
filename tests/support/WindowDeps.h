// The window's dependencies as the tests, the benchmarks and the picture tool give them, built
// in one place: each caller names only what it sets.
#pragma once

#include <string>
#include <utility>

#include "app/MainWindow.h"

namespace qzx::test {

/// Builds MainWindowDeps. The clock is the recorder's; exports fail until Exports names where
/// they go; the About box names "/tmp/" until LogFolder says otherwise. The parts must outlive
/// the window, as MainWindowDeps asks.
class WindowDeps {
  public:
    WindowDeps(EventList& list, EventRecorder& recorder, MonitorController& controller,
               Prompts& prompts, OnlineNotices& notices, DesktopOpener& opener)
        : list(list),
          recorder(recorder),
          controller(controller),
          prompts(prompts),
          notices(notices),
          opener(opener) {}

    /// Exports go to files, their text through encode (null keeps UTF-8).
    WindowDeps& Exports(FileSystem& to, EncodeAppend encoding) {
        files = &to;
        encode = encoding;
        return *this;
    }
    /// The ignore list is read from and saved to place through to.
    WindowDeps& IgnoreFile(FileSystem& to, IgnoreFilePlace place) {
        ignoreFiles = &to;
        ignoreFile = std::move(place);
        return *this;
    }
    /// The catch-up item acts on catchUp and is remembered in settingFile (through the ignore
    /// list's files).
    WindowDeps& CatchUpItem(CatchUp* keeper, std::string settingFile) {
        catchUp = keeper;
        catchUpSettingFile = std::move(settingFile);
        return *this;
    }
    WindowDeps& LogFolder(std::string folder) {
        logFolder = std::move(folder);
        return *this;
    }

    MainWindowDeps Build() const {
        return {list,        recorder,   controller, prompts,           recorder.TimeSource(),
                Files(),     encode,     logFolder,  notices,           opener,
                ignoreFiles, ignoreFile, catchUp,    catchUpSettingFile};
    }

  private:
    // Refuses every write, so that an export nobody set up fails as a full disk would.
    class NoFiles final : public FileSystem {
      public:
        bool PathExistsAs(const std::string&, bool) const override { return false; }
        bool PathExists(const std::string&) const override { return false; }
        bool IsWritableFolder(const std::string&) const override { return false; }
        int MakeFolders(const std::string&) override { return 0; }
        int AppendToFile(const std::string&, std::string_view) override { return 0; }
        int ReplaceFile(const std::string&, std::string_view) override { return 0; }
    };

    FileSystem& Files() const {
        static NoFiles none;
        return files != nullptr ? *files : none;
    }

    EventList& list;
    EventRecorder& recorder;
    MonitorController& controller;
    Prompts& prompts;
    OnlineNotices& notices;
    DesktopOpener& opener;
    FileSystem* files = nullptr;
    EncodeAppend encode = nullptr;
    std::string logFolder = "/tmp/";
    FileSystem* ignoreFiles = nullptr;
    IgnoreFilePlace ignoreFile;
    CatchUp* catchUp = nullptr;
    std::string catchUpSettingFile;
};

}  // namespace qzx::test
