// What the fuzz targets share: cutting one input into fields, and a check that stops the run
// with a message the fuzzer keeps next to the input that broke the rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace qzx::fuzz {

// Fields are separated by a zero byte, which no text of ours contains, so that seeds stay
// readable; the last field takes the rest, zero bytes included.
inline std::vector<std::string_view> Fields(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const std::size_t zero = rest.find('\0');
        if (zero == std::string_view::npos) break;
        fields.push_back(rest.substr(0, zero));
        rest.remove_prefix(zero + 1);
    }
    fields.push_back(rest);
    fields.resize(count);
    return fields;
}

// A little-endian number from the front of text, which loses those bytes; 0 when too short.
template <typename T>
T TakeNumber(std::string_view& text) {
    T value = 0;
    if (text.size() < sizeof(T)) return value;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value =
            static_cast<T>(value | static_cast<T>(static_cast<std::uint8_t>(text[i])) << (8 * i));
    }
    text.remove_prefix(sizeof(T));
    return value;
}

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
inline bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        std::size_t n = b < 0x80                 ? 1
                        : b >= 0xC2 && b <= 0xDF ? 2
                        : (b >> 4) == 0xE        ? 3
                        : b >= 0xF0 && b <= 0xF4 ? 4
                                                 : 0;
        if (n == 0 || i + n > text.size()) return false;
        std::uint32_t cp = n == 1 ? b : n == 2 ? b & 0x1Fu : n == 3 ? b & 0x0Fu : b & 0x07u;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<std::uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += n;
    }
    return true;
}

}  // namespace qzx::fuzz

// A broken rule is a crash to the fuzzer, with the rule in its report.
#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)
