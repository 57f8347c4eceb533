#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "online/ServiceStrings.h"

namespace qzx {
namespace {

std::string ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> PlainValues() {
    std::istringstream in(ReadAll(QZX_SERVICE_PLAIN_FILE));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The build's plain values come back from the scrambled texts, in the decoding order.
TEST(ServiceStrings, DecodeGivesTheBuildsValues) {
    const std::vector<std::string> plain = PlainValues();
    ASSERT_EQ(plain.size(), 6u);
    const ServiceStrings s = ServiceStrings::Decode();
    EXPECT_EQ(s.linkUrlDefault, plain[0]);
    EXPECT_EQ(s.linkTitleDefault, plain[1]);
    EXPECT_EQ(s.feedUrl, plain[2]);
    EXPECT_EQ(s.siteUrl, plain[3]);
    EXPECT_EQ(s.updateInfoUrl, plain[4]);
    EXPECT_EQ(s.makerAddress, plain[5]);
}

// Neither the generated header nor the libraries the program is linked from hold a plain value.
TEST(ServiceStrings, NoPlainValueInHeaderOrLibraries) {
    const std::string files[] = {ReadAll(QZX_SERVICE_HEADER), ReadAll(QZX_CORE_LIBRARY),
                                 ReadAll(QZX_PLATFORM_LIBRARY)};
    for (const std::string& file : files) ASSERT_FALSE(file.empty());
    for (const std::string& value : PlainValues()) {
        if (value.size() < 6) continue;
        for (const std::string& file : files) {
            EXPECT_EQ(file.find(value), std::string::npos) << value;
        }
    }
}

}  // namespace
}  // namespace qzx
