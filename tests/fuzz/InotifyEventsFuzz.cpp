// Any bytes as if read from an inotify descriptor, parsed and handed to the translator of a
// made-up tree. The parser must stay inside the bytes it was given, and whatever the events say
// the translator must keep a consistent tree.
#include <sys/inotify.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "tests/fuzz/FuzzInput.h"
#include "watch/InotifyParser.h"

namespace {

// A small tree: every folder above depth 2 holds a folder "d" and a file "f"; descriptors are
// handed out from 2 (1 is the watched folder) up to a limit, then the watch limit is reached.
// Time stamps are never known, so nothing is reported as changed during set-up.
class MadeUpTree final : public qzx::DirectoryAccess {
  public:
    int AddWatch(const std::string& path) override {
        auto it = watched.find(path);
        if (it != watched.end()) return it->second;
        if (next > 64) return -ENOSPC;
        watched[path] = next;
        return next++;
    }
    void RemoveWatch(int wd) override {
        for (auto it = watched.begin(); it != watched.end(); ++it) {
            if (it->second == wd) {
                watched.erase(it);
                return;
            }
        }
    }
    int ListDirectory(const std::string& path, std::vector<qzx::DirectoryEntry>& entries,
                      bool) override {
        std::size_t depth = path.empty() ? 0 : 1;
        for (char c : path) depth += c == '/';
        if (depth > 2) return ENOENT;
        entries.resize(2);
        entries[0].name = "d";
        entries[0].isDirectory = true;
        entries[1].name = "f";
        return 0;
    }
    qzx::FileTime Now() override { return qzx::kNoTime; }

  private:
    std::map<std::string, int> watched{{"", 1}};
    int next = 2;
};

class CountingSink final : public qzx::ChangeSink {
  public:
    void OnBatch(const qzx::ChangeBatch& batch) override { records += batch.size(); }
    void OnOverflow() override {}
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnEnded() override {}
    std::size_t records = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the given length, so that the address checker sees any read past it.
    std::unique_ptr<char[]> bytes(new char[size]);
    if (size > 0) std::memcpy(bytes.get(), data, size);
    std::vector<qzx::InotifyEvent> events;
    FUZZ_CHECK(qzx::ParseInotifyEvents(bytes.get(), size, events) <= size);
    for (const qzx::InotifyEvent& event : events) {
        FUZZ_CHECK(event.name.empty() ||
                   (event.name.data() >= bytes.get() &&
                    event.name.data() + event.name.size() <= bytes.get() + size));
        FUZZ_CHECK(event.name.find('\0') == std::string_view::npos);
    }

    MadeUpTree tree;
    CountingSink sink;
    qzx::InotifyTranslator translator(tree, sink);
    translator.Begin(1);
    translator.DoPendingWork(16);
    if (translator.HandleEvents(events)) {
        while (translator.HasPendingWork()) translator.DoPendingWork(16);
        translator.ReleaseHeldMove();
        translator.OnQueueEmpty();
        FUZZ_CHECK(translator.PathOf(1) == std::optional<std::string>(""));
    }
    FUZZ_CHECK(translator.WatchedCount() <= 64);
    return 0;
}
