// The choice between fanotify and inotify: made-up refusals, each refusal the kernel gives as
// the source meets it (through its seams), a process without the privilege, and a file system
// that really refuses the mark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/CollectingSink.h"
#include "tests/support/FakeSource.h"
#include "tests/watch/FanotifyTestSupport.h"
#include "watch/EngineChoice.h"
#include "watch/InotifySource.h"
#include "watch/EngineTexts.h"

namespace qzx {
namespace {

namespace fs = std::filesystem;

// A fanotify source that starts, or refuses with a reason, as told.
class FakeFanotify final : public FanotifySource {
  public:
    FakeFanotify(bool starts, std::string reason) : starts(starts), reason(std::move(reason)) {}
    bool Start(const std::string&, ChangeSink& sink) override {
        if (starts) sink.OnReady();
        return starts;
    }
    void Stop() override {}
    EngineStatus Engine() const override {
        return EngineStatus{ChangeEngine::Fanotify, true, "fan", ""};
    }
    std::string Refusal() const override { return starts ? "" : reason; }
    int RefusalError() const override { return reason.empty() ? 0 : EPERM; }

  private:
    bool starts;
    std::string reason;
};

struct Choice {
    test::FakeSourceState fallback;
    int fallbacksMade = 0;
    std::unique_ptr<ChangeSource> Make(bool fanotifyStarts, const std::string& reason) {
        return CreateChoosingSource(
            [=] { return std::make_unique<FakeFanotify>(fanotifyStarts, reason); },
            [this] {
                ++fallbacksMade;
                return std::make_unique<test::FakeSource>(fallback);
            });
    }
};

TEST(EngineChoice, FanotifyWhereItStarts) {
    Choice choice;
    CollectingSink sink;
    auto source = choice.Make(true, "");
    ASSERT_TRUE(source->Start("/w/", sink));
    EXPECT_EQ(source->Engine().engine, ChangeEngine::Fanotify);
    EXPECT_EQ(source->Engine().summary, "fan");
    EXPECT_EQ(choice.fallbacksMade, 0);
}

// A refusal starts inotify instead, with the ignore patterns, and the line for the tooltip
// says why.
TEST(EngineChoice, InotifyWithTheReasonWhenFanotifyRefuses) {
    Choice choice;
    CollectingSink sink;
    auto source = choice.Make(false, "no");
    // The patterns reach the inotify source before it watches, and when they change.
    auto rules = std::make_shared<const IgnoreRules>();
    source->SetIgnoreRules(rules);
    ASSERT_TRUE(source->Start("/w/", sink));
    EXPECT_EQ(choice.fallback.ignoreRules, rules);
    source->SetIgnoreRules(nullptr);
    EXPECT_EQ(choice.fallback.ignoreRules, nullptr);
    EngineStatus status = source->Engine();
    EXPECT_EQ(status.engine, ChangeEngine::Inotify);
    EXPECT_FALSE(status.knowsProcess);
    EXPECT_EQ(status.fallbackReason, "no");
    EXPECT_EQ(status.summary, std::string(texts::kEngineInotify) + "（未用 fanotify：no）");
    EXPECT_EQ(choice.fallback.starts, 1);
    source->Stop();
    EXPECT_EQ(choice.fallback.stops, 1);
}

// A folder that cannot be watched at all is refused without trying the other engine.
TEST(EngineChoice, FolderRefusedByBothIsRefused) {
    Choice choice;
    CollectingSink sink;
    auto source = choice.Make(false, "");
    EXPECT_FALSE(source->Start("/missing/", sink));
    EXPECT_EQ(choice.fallbacksMade, 0);
    Choice refusing;
    refusing.fallback.refuse = true;
    auto other = refusing.Make(false, "no");
    EXPECT_FALSE(other->Start("/w/", sink));
}

// Starts the program's choice with the given fanotify options on folder, makes a file, and
// returns what the source said about itself once the file was seen; empty summary when the
// file was not seen.
EngineStatus StartAndSee(const std::string& folder, const FanotifyOptions& options,
                         bool useOptions = true) {
    CollectingSink sink;
    std::unique_ptr<ChangeSource> source =
        useOptions ? CreateChoosingSource([options] { return CreateFanotifySource(options); },
                                          &CreateInotifySource)
                   : CreateChangeSource();
    if (!source->Start(folder + "/", sink)) return EngineStatus{};
    sink.WaitFor([](const CollectingSink::State& s) { return s.ready > 0; });
    int fd = ::open((folder + "/seen").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) ::close(fd);
    const bool seen = sink.Has(1, "seen");
    EngineStatus status = source->Engine();
    source->Stop();
    ::unlink((folder + "/seen").c_str());
    if (!seen) status.summary.clear();
    return status;
}

class EngineChoiceRealTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!scratch.problem.empty()) GTEST_SKIP() << "fanotify tests skipped: " << scratch.problem;
    }
    test::ScratchMount scratch;
};

// Each error by which the kernel refuses fanotify falls back to inotify, which then watches,
// with the reason in the program's words.
TEST_F(EngineChoiceRealTest, EachRefusalFallsBackToInotify) {
    struct Case {
        bool group;
        int error;
        const char* reason;
    } cases[] = {
        {true, EPERM, texts::kNoFanotifyPermission},
        {true, EINVAL, texts::kNoFanotifyKernel},
        {true, EMFILE, texts::kNoFanotifyLimit},
        {false, ENODEV, texts::kNoFanotifyNoDevice},
        {false, EXDEV, texts::kNoFanotifySubvolume},
        {false, EOPNOTSUPP, texts::kNoFanotifyHandles},
        {false, EPERM, texts::kNoFanotifyPermission},
        {false, ENOSPC, texts::kNoFanotifyLimit},
        {false, EIO, nullptr},
    };
    for (const Case& c : cases) {
        FanotifyOptions options;
        (c.group ? options.refuseGroupWith : options.refuseMarkWith) = c.error;
        EngineStatus status = StartAndSee(scratch.folder, options);
        const std::string reason =
            c.reason ? c.reason : "fanotify 无法使用，错误号 " + std::to_string(EIO);
        EXPECT_EQ(status.engine, ChangeEngine::Inotify) << c.error;
        EXPECT_EQ(status.fallbackReason, reason) << c.error;
        EXPECT_NE(status.summary.find(reason), std::string::npos) << c.error;
    }
    // And without a seam, fanotify itself.
    EngineStatus status = StartAndSee(scratch.folder, {}, false);
    EXPECT_EQ(status.engine, ChangeEngine::Fanotify);
    EXPECT_TRUE(status.knowsProcess);
}

// Lowers one capability of this process for good; false when the system would not.
bool DropCapability(int capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    const unsigned bit = 1u << (capability % 32);
    data[capability / 32].effective &= ~bit;
    data[capability / 32].permitted &= ~bit;
    data[capability / 32].inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// In a child that lacks the capability, the program's own choice: 0 when it watched with
// inotify and said it lacked the privilege, else a code that tells what went wrong.
int ChildWithout(int capability, const std::string& folder) {
    pid_t child = ::fork();
    if (child == 0) {
        if (!DropCapability(capability)) ::_exit(10);
        EngineStatus status = StartAndSee(folder, {}, false);
        if (status.summary.empty()) ::_exit(11);
        if (status.engine != ChangeEngine::Inotify) ::_exit(12);
        if (status.fallbackReason != texts::kNoFanotifyPermission) ::_exit(13);
        ::_exit(0);
    }
    int result = 0;
    ::waitpid(child, &result, 0);
    return WIFEXITED(result) ? WEXITSTATUS(result) : 100;
}

// Without CAP_SYS_ADMIN there is no fanotify group or mark, and without CAP_DAC_READ_SEARCH
// no path from a handle: either way inotify watches, and the tooltip says why.
TEST_F(EngineChoiceRealTest, NotPermittedFallsBackToInotify) {
    EXPECT_EQ(ChildWithout(CAP_SYS_ADMIN, scratch.folder), 0);
    EXPECT_EQ(ChildWithout(CAP_DAC_READ_SEARCH, scratch.folder), 0);
}

// An overlay (the root of many containers) has no file handles to report: the mark is
// refused for real, and inotify watches.
TEST_F(EngineChoiceRealTest, OverlayRefusesTheMark) {
    const std::string base = scratch.folder;
    for (const char* part : {"/lower", "/upper", "/work", "/merged"}) {
        ASSERT_EQ(::mkdir((base + part).c_str(), 0755), 0);
    }
    const std::string options =
        "lowerdir=" + base + "/lower,upperdir=" + base + "/upper,workdir=" + base + "/work";
    if (::mount("overlay", (base + "/merged").c_str(), "overlay", 0, options.c_str()) != 0) {
        GTEST_SKIP() << "no overlay here: " << std::strerror(errno);
    }
    EngineStatus status = StartAndSee(base + "/merged", {}, false);
    ::umount2((base + "/merged").c_str(), MNT_DETACH);
    EXPECT_EQ(status.engine, ChangeEngine::Inotify);
    EXPECT_EQ(status.fallbackReason, texts::kNoFanotifyHandles);
}

}  // namespace
}  // namespace qzx
