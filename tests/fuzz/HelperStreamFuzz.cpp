// The helper's stream and arguments on any bytes: a line is read or refused, never half read;
// what is read is what the writing side would have written for it; the arguments never name
// a folder that is not absolute and clean; a rules block is read whole or refused.
#include <string>
#include <vector>

#include "tests/fuzz/FuzzInput.h"
#include "watch/HelperStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto f = qzx::fuzz::Fields(data, size, 4);
    const std::string_view line = f[3];

    if (auto read = qzx::ParseHelperLine(line)) {
        using Kind = qzx::HelperMessage::Kind;
        if (read->kind == Kind::Change) {
            FUZZ_CHECK(read->records.size() == 1 || read->records.size() == 2);
            const qzx::ChangeRecord& last = read->records.back();
            const qzx::ChangeRecord* from = read->records.size() == 2 ? &read->records[0] : nullptr;
            for (const qzx::ChangeRecord& r : read->records) FUZZ_CHECK(qzx::IsPathBelow(r.name));
            // Written again, the line is the same bytes.
            const std::string again = qzx::HelperChangeLine(last, from, read->timeMs);
            FUZZ_CHECK(again == std::string(line) + "\n");
        } else if (read->kind == Kind::Engine) {
            const std::string again = qzx::HelperEngineLine(read->engine);
            FUZZ_CHECK(again == std::string(line) + "\n");
        } else if (read->kind == Kind::Warning) {
            FUZZ_CHECK(qzx::IsPathBelow(read->path));
            FUZZ_CHECK(qzx::HelperWarningLine(read->warning, read->path) ==
                       std::string(line) + "\n");
        }
    }

    // The same bytes as the helper's standard input, in two pieces: every block read is one
    // the window could have written, and reads back the same.
    qzx::HelperRulesReader reader;
    const std::size_t cut = line.size() / 2;
    for (std::string_view piece : {line.substr(0, cut), line.substr(cut)}) {
        for (const qzx::HelperRulesRead& read : reader.Read(piece)) {
            FUZZ_CHECK(read.error.empty() || !read.rules);
            if (!read.rules) continue;
            FUZZ_CHECK(!read.rules->Empty());
            const std::string block = qzx::HelperRulesBlock(read.rules.get());
            const auto again = qzx::HelperRulesReader().Read(block);
            FUZZ_CHECK(again.size() == 1 && again[0].rules &&
                       again[0].rules->Size() == read.rules->Size());
        }
    }

    std::vector<std::string> args;
    for (int i = 0; i < 2; ++i) {
        if (!f[i].empty()) args.emplace_back(f[i]);
    }
    const std::string uid(f[2]);
    const qzx::HelperRequest request =
        qzx::ParseHelperArguments(args, uid.empty() ? nullptr : uid.c_str());
    if (request.error.empty()) {
        FUZZ_CHECK(!request.folder.empty() && request.folder.front() == '/');
        FUZZ_CHECK(request.folder == "/" || qzx::IsPathBelow(request.folder.substr(1)));
    }
    return 0;
}
