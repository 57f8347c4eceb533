// Decides paths with the ignore rules, for bench/ignore_templates.py: the list's file is read as
// the user's own list (qzxwatch --exclude-from); the paths come on standard input, one a line,
// a folder's with a "/" at its end. Prints "1" (ignored) or "0" for each, and the lines the
// list cannot use on standard error as "refused LINE".
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "watch/IgnoreRules.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: ignore_check LIST < PATHS\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    qzx::IgnoreRules rules(qzx::IgnoreSyntax{false, false});
    for (const qzx::PatternError& error : rules.AddLines(qzx::PatternLines(text))) {
        std::cerr << "refused " << error.text << "\n";
    }
    for (std::string path; std::getline(std::cin, path);) {
        const bool folder = !path.empty() && path.back() == '/';
        if (folder) path.pop_back();
        const auto kind = folder ? qzx::PathKind::kFolder : qzx::PathKind::kFile;
        std::cout << (rules.Ignores(path, kind) ? "1\n" : "0\n");
    }
    return 0;
}
