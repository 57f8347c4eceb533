// The charset edges on any bytes: UTF-8 to GBK for the files we write, and the other way (in a
// named charset, first field) for documents we read.
#include <string>

#include "base/Gbk.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto f = qzx::fuzz::Fields(data, size, 2);
    const std::string_view charset = f[0], bytes = f[1];

    const std::string gbk = qzx::Utf8ToGbk(bytes);
    // A character becomes at most two bytes and never more than its UTF-8 form; "?" is one.
    FUZZ_CHECK(gbk.size() <= bytes.size());
    std::string appended = "kept";
    qzx::AppendGbk(bytes, appended);
    FUZZ_CHECK(appended == "kept" + gbk);
    // Line structure survives: GBK's second bytes are never TAB, CR or LF.
    for (char c : {'\t', '\r', '\n'}) {
        std::size_t in = 0, out = 0;
        for (char b : bytes) in += b == c;
        for (char b : gbk) out += b == c;
        FUZZ_CHECK(in == out);
    }
    // What GBK could hold comes back unchanged.
    if (qzx::fuzz::IsUtf8(bytes) && gbk.find('?') == std::string::npos) {
        FUZZ_CHECK(qzx::ToUtf8(gbk) == bytes);
    }

    // Whatever arrives, the program holds well-formed UTF-8 afterwards.
    FUZZ_CHECK(qzx::fuzz::IsUtf8(qzx::ToUtf8(bytes, charset)));
    FUZZ_CHECK(qzx::fuzz::IsUtf8(qzx::ToUtf8(bytes)));
    return 0;
}
