// GBK and other charsets through glibc's iconv.
#include <errno.h>
#include <iconv.h>

#include <string>

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

}  // namespace

void AppendGbk(std::string_view utf8, std::string& out) {
    // Paths are mostly ASCII, which GBK shares: skip the converter for such runs.
    size_t ascii = 0;
    while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
    out.append(utf8.data(), ascii);
    utf8.remove_prefix(ascii);
    if (utf8.empty()) return;
    // Opening a converter costs more than converting a path; keep one per thread.
    thread_local Converter conv("GBK", "UTF-8");
    if (!conv.ok()) {
        for (char c : utf8) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        return;
    }
    conv.Reset();
    while (!utf8.empty()) {
        utf8.remove_prefix(conv.Convert(utf8, out));
        if (utf8.empty()) break;
        // A character GBK lacks, or bytes that are no UTF-8 at all: one "?" for each.
        out.push_back('?');
        utf8.remove_prefix(Utf8SequenceLength(utf8));
        conv.Reset();
    }
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendGbk(utf8, out);
    return out;
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
