// Any bytes as if read from a fanotify descriptor, parsed and handed to the translator of a
// made-up file system. The parser must stay inside the bytes it was given, and whatever the
// events say the translator must end and keep its tables bounded.
#include <sys/fanotify.h>

#include <cstring>
#include <memory>

#include "tests/fuzz/FuzzInput.h"
#include "watch/FanotifyParser.h"
#include "watch/FanotifyTranslator.h"

namespace {

// Where a folder is follows from its handle's last byte: gone, outside, the root, or one of a
// few folders of the tree (some of them below others).
class MadeUpFileSystem final : public qzx::FanotifyAccess {
  public:
    std::optional<std::string> FolderPath(std::string_view handle) override {
        if (handle.empty()) return std::nullopt;
        const unsigned char last = static_cast<unsigned char>(handle.back());
        switch (last % 5) {
            case 0:
                return std::nullopt;
            case 1:
                return "/out/o" + std::to_string(last);
            case 2:
                return std::string("/w");
            case 3:
                return "/w/d" + std::to_string(last % 7);
            default:
                return "/w/d" + std::to_string(last % 7) + "/e" + std::to_string(last % 3);
        }
    }
    std::optional<std::string> HandleOf(const std::string& path) override {
        if (path.size() % 3 == 0) return std::nullopt;
        return "h" + path;
    }
    bool ListFolder(const std::string& path,
                    std::vector<std::pair<std::string, bool>>& entries) override {
        if (path.size() > 40) return false;
        entries = {{"f", false}, {"s", true}};
        return true;
    }
};

class CountingSink final : public qzx::ChangeSink {
  public:
    void OnBatch(const qzx::ChangeBatch& batch) override {
        FUZZ_CHECK(!batch.empty());
        records += batch.size();
    }
    void OnOverflow() override {}
    void OnWarning(qzx::WatchWarning, const std::string&) override {}
    void OnEnded() override {}
    std::size_t records = 0;
};

class NoProcesses final : public qzx::ProcessReader {
  public:
    std::optional<qzx::ProcessInfo> Read(int pid) override {
        if (pid % 2) return std::nullopt;
        return qzx::ProcessInfo{pid, "p", ""};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the given length, so that the address checker sees any read past it.
    std::unique_ptr<char[]> bytes(new char[size ? size : 1]);
    if (size > 0) std::memcpy(bytes.get(), data, size);
    const char* begin = bytes.get();
    const char* end = begin + size;
    auto inside = [&](std::string_view view) {
        return view.empty() || (view.data() >= begin && view.data() + view.size() <= end);
    };
    std::vector<qzx::FanotifyEvent> events;
    FUZZ_CHECK(qzx::ParseFanotifyEvents(bytes.get(), size, events) <= size);
    for (const qzx::FanotifyEvent& event : events) {
        for (const qzx::FanotifyEntry* entry : {&event.entry, &event.from, &event.to}) {
            FUZZ_CHECK(inside(entry->handle) && inside(entry->name));
            FUZZ_CHECK(entry->name.find('\0') == std::string_view::npos);
        }
        FUZZ_CHECK(inside(event.object));
        FUZZ_CHECK(event.pidfd >= -1 && event.fd >= -1);
    }

    for (bool newer : {true, false}) {
        MadeUpFileSystem files;
        CountingSink sink;
        NoProcesses reader;
        qzx::ProcessCache processes(reader);
        qzx::FanotifyTranslator translator(files, sink, &processes,
                                           qzx::FanotifyFeatures{newer, newer});
        translator.Begin("/w/", std::string("root-handle\x02", 12));
        qzx::ProcessCache::Clock::time_point now{};
        // Twice, so that the second pass meets the table that the first one filled.
        for (int pass = 0; pass < 2 && translator.HandleEvents(events, now); ++pass) {
            translator.ReleaseHeldMove();
            now += std::chrono::seconds(3);
            translator.OnQueueEmpty(now);
        }
        FUZZ_CHECK(translator.KnownFolders() >= 1);
        FUZZ_CHECK(translator.ParkedEvents() <= qzx::FanotifyTranslator::kMaxParked);
        FUZZ_CHECK(translator.OutsideFolders() <= qzx::FanotifyTranslator::kMaxOutside);
    }
    return 0;
}
