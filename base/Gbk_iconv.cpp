// GBK and other charsets through glibc's iconv.
#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "base/Gbk.h"

namespace qzx {
namespace {

// One descriptor per conversion call: iconv_t is not safe to share between threads.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns the number of input bytes consumed and appends the
    // output. Stops at an unconvertible or incomplete sequence.
    size_t Convert(std::string_view in, std::string& out) {
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            break;
        }
        return in.size() - srcLeft;
    }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence that starts at s, or 1 when s does not start a valid one.
size_t Utf8SequenceLength(std::string_view s) {
    const auto b = static_cast<unsigned char>(s[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > s.size()) return 1;
    for (size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
    }
    return n;
}

// Bytes at the start of s below 0x80.
size_t AsciiPrefix(std::string_view s) {
    size_t i = 0;
    // Eight at a time: a long path is mostly ASCII, and this runs for every line of a burst.
    for (std::uint64_t word; i + 8 <= s.size(); i += 8) {
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080u) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// One call of the converter costs about as much as twenty bytes through it, so a short ASCII
// gap (the "/" between two Chinese folder names) goes along with its neighbours.
constexpr size_t kAsciiGapKept = 16;

// The bytes from the start of s, which is not ASCII, up to the next run of kAsciiGapKept ASCII
// bytes or the end. UTF-8 never has a byte below 0x80 inside a character, so the cut falls
// between characters.
size_t ConvertedStretch(std::string_view s) {
    size_t end = 0;
    while (end < s.size()) {
        while (end < s.size() && static_cast<unsigned char>(s[end]) >= 0x80) ++end;
        const size_t gap = AsciiPrefix(s.substr(end, kAsciiGapKept));
        if (gap >= kAsciiGapKept || end + gap == s.size()) break;
        end += gap;
    }
    return end;
}

// Converts a text that starts with a non-ASCII byte.
void AppendConverted(std::string_view utf8, std::string& out) {
    // Opening a converter costs more than converting a path; keep one per thread.
    thread_local Converter conv("GBK", "UTF-8");
    if (!conv.ok()) {
        for (char c : utf8) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return;
    }
    while (!utf8.empty()) {
        utf8.remove_prefix(conv.Convert(utf8, out));
        if (utf8.empty()) break;
        // A character GBK lacks, or bytes that are no UTF-8 at all: one "?" for each.
        out.push_back('?');
        utf8.remove_prefix(Utf8SequenceLength(utf8));
        // The converter stops in its start state after a whole text, but not after an error.
        conv.Reset();
    }
}

// The type names come again on every line of a log: short stretches seen lately are answered
// from memory, which costs a fraction of one call of the converter.
class RecentStretches {
  public:
    static constexpr size_t kLongest = 12;
    const std::string* Find(std::string_view utf8) const {
        for (const Entry& e : entries) {
            if (e.used && e.utf8 == utf8) return &e.gbk;
        }
        return nullptr;
    }
    void Keep(std::string_view utf8, std::string gbk) {
        Entry& e = entries[next];
        next = (next + 1) % entries.size();
        e.utf8.assign(utf8);
        e.gbk = std::move(gbk);
        e.used = true;
    }

  private:
    struct Entry {
        std::string utf8;
        std::string gbk;
        bool used = false;
    };
    std::array<Entry, 8> entries;
    size_t next = 0;
};

void AppendStretch(std::string_view utf8, std::string& out) {
    if (utf8.size() > RecentStretches::kLongest) {
        AppendConverted(utf8, out);
        return;
    }
    thread_local RecentStretches recent;
    if (const std::string* known = recent.Find(utf8)) {
        out += *known;
        return;
    }
    std::string gbk;
    AppendConverted(utf8, gbk);
    out += gbk;
    recent.Keep(utf8, std::move(gbk));
}

}  // namespace

void AppendGbk(std::string_view utf8, std::string& out) {
    // Paths and log lines are mostly ASCII, which GBK shares: only the stretches around other
    // characters go through the converter.
    for (;;) {
        const size_t ascii = AsciiPrefix(utf8);
        out.append(utf8.data(), ascii);
        utf8.remove_prefix(ascii);
        if (utf8.empty()) return;
        const size_t stretch = ConvertedStretch(utf8);
        AppendStretch(utf8.substr(0, stretch), out);
        utf8.remove_prefix(stretch);
    }
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string from = charset.empty() ? std::string("GBK") : std::string(charset);
    Converter conv("UTF-8", from.c_str());
    Converter fallback("UTF-8", "GBK");
    Converter& use = conv.ok() ? conv : fallback;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    if (!use.ok()) return std::string(bytes);
    while (!bytes.empty()) {
        bytes.remove_prefix(use.Convert(bytes, out));
        if (bytes.empty()) break;
        out.append("\xEF\xBF\xBD");
        bytes.remove_prefix(1);
        use.Reset();
    }
    return out;
}

}  // namespace qzx
