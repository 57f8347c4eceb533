// Portable helpers of the HTTP seam.
#include "online/HttpGet.h"

namespace qzx {

std::string CharsetOfContentType(std::string_view contentType) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    size_t pos = 0;
    while (pos < contentType.size()) {
        const size_t semicolon = contentType.find(';', pos);
        if (semicolon == std::string_view::npos) return {};
        pos = semicolon + 1;
        while (pos < contentType.size() && (contentType[pos] == ' ' || contentType[pos] == '\t'))
            ++pos;
        constexpr std::string_view kName = "charset=";
        if (contentType.size() - pos < kName.size()) return {};
        bool match = true;
        for (size_t i = 0; i < kName.size(); ++i)
            match = match && lower(contentType[pos + i]) == kName[i];
        if (!match) continue;
        std::string_view value = contentType.substr(pos + kName.size());
        value = value.substr(0, value.find(';'));
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

}  // namespace qzx
