// Start, the inotify set-up of the existing subfolders and "监控中..", against real folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/MonitorController.h"
#include "app/StatusTexts.h"
#include "app/Texts.h"
#include "records/FileSystem.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/InotifyWatches_linux.h"
#include "watch/InotifySource.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;

class MonitorControllerWatch : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qzx-arming-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        // Wide and deep enough that setting it up takes a while after Start returns.
        for (int i = 0; i < 40; ++i) {
            std::string top = root + "/t" + std::to_string(i);
            for (int j = 0; j < 10; ++j) {
                std::string leaf = top + "/s" + std::to_string(j) + "/u";
                fs::create_directories(leaf);
                folders.push_back(leaf);
            }
        }
        controller.SetOptions(DefaultOptions());
    }
    void TearDown() override {
        controller.StopMonitor();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    bool PollUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            controller.Poll();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
    }
    bool HasRowFor(const std::string& path) {
        bool found = false;
        list.Read([&](const EventList::Rows& rows) {
            for (const ListedRow& row : rows) found = found || row.details == path;
        });
        return found;
    }

    std::string root;
    std::vector<std::string> folders;
    EventList list;
    test::FakeClock clock;
    EventRecorder recorder{list, clock};
    test::FakePrompts prompts;
    MonitorController controller{recorder, &CreateInotifySource, prompts};
};

// A file touched in an existing subfolder the moment the status turns to "监控中.." is never
// missed; before that the status says the set-up is under way.
TEST_F(MonitorControllerWatch, NothingIsMissedOnceMonitoringShows) {
    int missed = 0;
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(controller.StartMonitor(root));
        EXPECT_EQ(WindowStatusTexts(controller.Status()).line, texts::kStatusArming);
        ASSERT_TRUE(PollUntil([&] { return controller.State() != MonitorState::Arming; }));
        ASSERT_EQ(WindowStatusTexts(controller.Status()).line, texts::kStatusMonitoring);
        // Farthest from the top first, where the set-up comes last.
        const std::string name =
            folders[folders.size() - 1 - (round % folders.size())] + "/r" + std::to_string(round);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
        if (!PollUntil([&] { return HasRowFor(name); }, std::chrono::seconds(2))) ++missed;
        controller.StopMonitor();
        if (missed > 3) break;  // the verdict is in; no need to wait out every round
    }
    EXPECT_EQ(missed, 0);
}

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void Write(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

// The README's example, and the tree's own ignore files on request: a folder they ignore is never
// watched, not even by the set-up walk, and a changed .gitignore acts from the next change.
TEST_F(MonitorControllerWatch, IgnoredFoldersAreNeverWatched) {
    fs::remove_all(root);
    for (const char* folder : {"src", ".git/info", "build/out", "web/node_modules/pkg/lib"}) {
        fs::create_directories(root + "/" + folder);
    }
    auto rowFor = [&](const std::string& name) {
        return [this, path = root + "/" + name] { return HasRowFor(path); };
    };
    auto rules = std::make_shared<IgnoreRules>();
    ASSERT_TRUE(rules->AddLines({".git/", "build/", "*.tmp", "!keep.tmp"}).empty());
    controller.SetIgnoreRules(rules);
    ASSERT_TRUE(controller.StartMonitor(root));
    ASSERT_TRUE(PollUntil([&] { return controller.State() == MonitorState::Monitoring; }));
    EXPECT_EQ(InotifyWatches(), 6) << "the top, src, web and the three of node_modules";
    controller.StopMonitor();

    Write(root + "/.gitignore", "node_modules/\n");
    Write(root + "/.git/info/exclude", "*.log\n");
    controller.SetIgnoreRules(nullptr);
    controller.SetTreeIgnoreFiles(&SystemFileSystem(), true);
    ASSERT_TRUE(controller.StartMonitor(root));
    ASSERT_TRUE(PollUntil([&] { return controller.State() == MonitorState::Monitoring; }));
    EXPECT_EQ(InotifyWatches(), 7) << "node_modules and what it holds are not watched";
    Write(root + "/a.log", "x");
    Write(root + "/src/a.txt", "x");
    ASSERT_TRUE(PollUntil(rowFor("src/a.txt")));
    EXPECT_FALSE(HasRowFor(root + "/a.log"));

    Write(root + "/.gitignore", "");
    ASSERT_TRUE(PollUntil(rowFor(".gitignore"))) << "its own change is a change";
    EXPECT_TRUE(Eventually([] { return InotifyWatches() == 10; }));
    Write(root + "/web/node_modules/pkg/lib/new.js", "x");
    EXPECT_TRUE(PollUntil(rowFor("web/node_modules/pkg/lib/new.js")));
    controller.StopMonitor();
    controller.SetTreeIgnoreFiles(nullptr);
}

}  // namespace
}  // namespace qzx
