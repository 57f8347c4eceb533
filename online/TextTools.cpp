// Tagged-value search, splitting and service string scrambling.
#include "online/TextTools.h"

#include <cstdint>

namespace qzx {
namespace {

std::uint8_t PairToByte(unsigned a, unsigned b) {
    return static_cast<std::uint8_t>((26u * a + b - 87u) & 0xFFu);
}

std::uint16_t NextKey(std::uint16_t key, std::uint8_t intermediate, int multiplier, int addend) {
    // Wider arithmetic keeps the low 16 bits the same as a 16-bit computation would.
    std::uint32_t next = (static_cast<std::uint32_t>(key) + intermediate) *
                             (static_cast<std::uint32_t>(multiplier) & 0xFFFFu) +
                         (static_cast<std::uint32_t>(addend) & 0xFFFFu);
    return static_cast<std::uint16_t>(next & 0xFFFFu);
}

}  // namespace

std::string TextTools::TextBetween(std::string_view text, std::string_view open,
                                   std::string_view close) {
    if (text.empty() || open.empty() || close.empty()) return {};
    const size_t p = text.find(open);
    const size_t q = text.find(close);
    if (p == std::string_view::npos || q == std::string_view::npos || p >= q) return {};
    const size_t start = p + open.size();
    // A close tag that begins inside the open tag gives a backwards distance; its absolute value
    // is taken, as the stored documents were written against that rule.
    const size_t count = q >= start ? q - start : start - q;
    if (start >= text.size()) return {};
    return std::string(text.substr(start, count));
}

int TextTools::SplitText(std::vector<std::string>& list, std::string_view text,
                         std::string_view delimiter, int clearFirst, int minLength) {
    if (clearFirst != 0) list.clear();
    const size_t minimum = minLength < 0 ? 0 : static_cast<size_t>(minLength);
    if (delimiter.empty()) {
        if (text.size() < minimum) return 0;
        list.emplace_back(text);
        return 1;
    }
    const size_t m = minimum == 0 ? 2 : minimum;
    int count = 0;
    std::string_view rest = text;
    for (size_t p = rest.find(delimiter); p != std::string_view::npos; p = rest.find(delimiter)) {
        if (p >= m) {
            list.emplace_back(rest.substr(0, p));
            ++count;
        }
        rest.remove_prefix(p + delimiter.size());
    }
    if (rest.size() >= m) {
        list.emplace_back(rest);
        ++count;
    }
    return count;
}

std::string TextTools::DecodeServiceString(std::string_view stored, int multiplier, int addend,
                                           int start) {
    const size_t m = stored.size() / 2;
    std::string out(m, '\0');
    auto key = static_cast<std::uint16_t>(static_cast<std::uint32_t>(start) & 0xFFFFu);
    for (size_t i = 0; i < m; ++i) {
        const std::uint8_t v = PairToByte(static_cast<unsigned char>(stored[2 * i]),
                                          static_cast<unsigned char>(stored[2 * i + 1]));
        out[i] = static_cast<char>(v ^ static_cast<std::uint8_t>(key >> 8));
        key = NextKey(key, v, multiplier, addend);
    }
    return out;
}

std::string TextTools::EncodeServiceString(std::string_view plain, int multiplier, int addend,
                                           int start) {
    std::string out;
    out.reserve(plain.size() * 2);
    auto key = static_cast<std::uint16_t>(static_cast<std::uint32_t>(start) & 0xFFFFu);
    for (size_t i = 0; i < plain.size(); ++i) {
        const auto v = static_cast<std::uint8_t>(static_cast<unsigned char>(plain[i]) ^
                                                 static_cast<std::uint8_t>(key >> 8));
        key = NextKey(key, v, multiplier, addend);
        // Any pair with the right stage-one value decodes; vary the first byte with the position
        // so that repeated characters do not show as repeated pairs, and keep both bytes nonzero
        // so the stored text is a proper C string.
        unsigned a = (37u * static_cast<unsigned>(i) + 101u + v) & 0xFFu;
        unsigned b = 0;
        for (;; a = (a + 1u) & 0xFFu) {
            b = (v + 87u - 26u * a) & 0xFFu;
            if (a != 0 && b != 0) break;
        }
        out.push_back(static_cast<char>(a));
        out.push_back(static_cast<char>(b));
    }
    return out;
}

}  // namespace qzx
