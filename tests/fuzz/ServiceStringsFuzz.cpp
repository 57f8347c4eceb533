// Scrambling and unscrambling of the service strings, with any key and any bytes, as the build
// tool and the program do them: six bytes of key (three 16-bit numbers), then the plain text.
#include "online/TextTools.h"
#include "tests/fuzz/FuzzInput.h"

using qzx::TextTools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view plain(reinterpret_cast<const char*>(data), size);
    const int multiplier = qzx::fuzz::TakeNumber<std::uint16_t>(plain);
    const int addend = qzx::fuzz::TakeNumber<std::uint16_t>(plain);
    const int start = qzx::fuzz::TakeNumber<std::uint16_t>(plain);

    const std::string stored = TextTools::EncodeServiceString(plain, multiplier, addend, start);
    FUZZ_CHECK(stored.size() == 2 * plain.size());
    FUZZ_CHECK(stored.find('\0') == std::string::npos);
    FUZZ_CHECK(TextTools::DecodeServiceString(stored, multiplier, addend, start) == plain);
    // Only the low 16 bits of the key count.
    FUZZ_CHECK(TextTools::DecodeServiceString(stored, multiplier + 0x10000, addend - 0x10000,
                                              start + 0x30000) == plain);

    // Any stored bytes decode to half as many, and scrambling that back round-trips too.
    const std::string decoded = TextTools::DecodeServiceString(plain, multiplier, addend, start);
    FUZZ_CHECK(decoded.size() == plain.size() / 2);
    const std::string again = TextTools::EncodeServiceString(decoded, multiplier, addend, start);
    FUZZ_CHECK(TextTools::DecodeServiceString(again, multiplier, addend, start) == decoded);
    return 0;
}
