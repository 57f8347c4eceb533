// The update document as fetched: a Content-Type value, the running version, then the body.
#include "online/HttpTools.h"
#include "online/UpdateCheck.h"
#include "online/WebAddress.h"
#include "tests/fuzz/FakeHttp.h"
#include "tests/fuzz/FuzzInput.h"

using qzx::UpdateCheck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto f = qzx::fuzz::Fields(data, size, 3);
    const std::string_view running = f[1].empty() ? qzx::kRunningVersion : f[1];
    qzx::fuzz::FixedResponse http(f[0], f[2]);
    std::string document;
    FUZZ_CHECK(qzx::HttpTools(http).FetchText("http://127.0.0.1/update.txt", document) == 1);

    const std::string site = "http://127.0.0.1/";
    const auto offer = UpdateCheck::Evaluate(document, site, running);
    if (offer) {
        // Yes opens a web address, never anything the document could smuggle in.
        FUZZ_CHECK(offer->target == site || qzx::IsWebAddress(offer->target));
        FUZZ_CHECK(offer->question.rfind("发现新版本:", 0) == 0);
    }
    // Newer is a strict order: never both ways, never against itself.
    const std::string_view version = f[2];
    FUZZ_CHECK(!(UpdateCheck::IsNewerVersion(version, running) &&
                 UpdateCheck::IsNewerVersion(running, version)));
    FUZZ_CHECK(!UpdateCheck::IsNewerVersion(running, running));
    return 0;
}
