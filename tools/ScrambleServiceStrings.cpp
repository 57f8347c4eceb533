// Build-time tool: turns the plain service strings of the build's settings into the scrambled
// header the program is compiled with.
//
//   qzx_scramble <plain-file> <header-out> <multiplier> <addend> <start>
//
// The plain file holds six lines, UTF-8: link address, link title, feed address, site address,
// update address, maker's address.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "online/TextTools.h"

namespace {

constexpr int kValueCount = 6;

bool ParseKeyNumber(const char* text, int& value) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n <= 0 || n > 65535) return false;
    value = static_cast<int>(n);
    return true;
}

// Writes the file only when its content changes, so that a rerun does not rebuild the program.
bool WriteIfChanged(const std::string& path, const std::string& content) {
    std::ifstream old(path, std::ios::binary);
    if (old) {
        std::ostringstream current;
        current << old.rdbuf();
        if (current.str() == content) return true;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr
            << "usage: qzx_scramble <plain-file> <header-out> <multiplier> <addend> <start>\n";
        return 2;
    }
    int multiplier = 0, addend = 0, start = 0;
    if (!ParseKeyNumber(argv[3], multiplier) || !ParseKeyNumber(argv[4], addend) ||
        !ParseKeyNumber(argv[5], start)) {
        std::cerr << "qzx_scramble: the key is three numbers from 1 to 65535\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "qzx_scramble: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::vector<std::string> values;
    for (std::string line; values.size() < kValueCount && std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        values.push_back(line);
    }
    if (values.size() != kValueCount) {
        std::cerr << "qzx_scramble: " << argv[1] << " must hold " << kValueCount << " lines\n";
        return 1;
    }

    std::ostringstream header;
    header << "// Made by qzx_scramble from the build's settings; do not edit.\n"
           << "#pragma once\n\n#include <cstddef>\n\nnamespace qzx::stored {\n\n"
           << "inline constexpr int kMultiplier = " << multiplier << ";\n"
           << "inline constexpr int kAddend = " << addend << ";\n"
           << "inline constexpr int kStart = " << start << ";\n\n"
           << "inline constexpr std::size_t kLengths[" << kValueCount << "] = {";
    std::string all;
    for (int i = 0; i < kValueCount; ++i) {
        const std::string stored =
            qzx::TextTools::EncodeServiceString(values[i], multiplier, addend, start);
        if (qzx::TextTools::DecodeServiceString(stored, multiplier, addend, start) != values[i]) {
            std::cerr << "qzx_scramble: value " << i + 1 << " does not survive the round trip\n";
            return 1;
        }
        header << (i ? ", " : "") << stored.size();
        all += stored;
    }
    header << "};\n\n// The stored texts one after another, and a final zero so the array is never "
              "empty.\n"
           << "inline constexpr unsigned char kBytes[] = {";
    all.push_back('\0');
    for (size_t i = 0; i < all.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned char>(all[i]));
        header << (i % 12 == 0 ? "\n    " : " ") << hex << ",";
    }
    header << "\n};\n\n}  // namespace qzx::stored\n";
    if (!WriteIfChanged(argv[2], header.str())) {
        std::cerr << "qzx_scramble: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
