// A helper process with a name of its own for the fanotify tests: it changes files as told,
// so that the records can be checked for its PID and name. Commands come as arguments (done
// one after the other, then it exits) or, without arguments, as lines on standard input,
// each answered with "ok" or "error <errno>" on standard output, until "exit" or the end.
//
//   create PATH | write PATH | chmod PATH | unlink PATH | mkdir PATH | rmdir PATH
//   rename FROM TO | tree FOLDER FILES   (the folder and its parents, then FILES files in it)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (::mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return errno;
    }
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? 0 : errno;
}

int Do(const std::vector<std::string>& words) {
    if (words.empty()) return EINVAL;
    const std::string& op = words[0];
    auto arg = [&](std::size_t i) { return i < words.size() ? words[i].c_str() : ""; };
    if (op == "create" || op == "write") {
        int fd = ::open(arg(1), O_WRONLY | O_CREAT | (op == "write" ? O_APPEND : O_TRUNC), 0644);
        if (fd < 0) return errno;
        if (op == "write" && ::write(fd, "x", 1) != 1) return errno;
        ::close(fd);
        return 0;
    }
    if (op == "chmod") return ::chmod(arg(1), 0600) == 0 ? 0 : errno;
    if (op == "unlink") return ::unlink(arg(1)) == 0 ? 0 : errno;
    if (op == "mkdir") return ::mkdir(arg(1), 0755) == 0 ? 0 : errno;
    if (op == "rmdir") return ::rmdir(arg(1)) == 0 ? 0 : errno;
    if (op == "rename") return ::rename(arg(1), arg(2)) == 0 ? 0 : errno;
    if (op == "tree") {
        int error = MakeFolders(arg(1));
        if (error) return error;
        for (int i = 0, n = std::atoi(arg(2)); i < n; ++i) {
            std::string file = std::string(arg(1)) + "/f" + std::to_string(i);
            int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) return errno;
            ::close(fd);
        }
        return 0;
    }
    return EINVAL;
}

std::vector<std::string> Split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        std::vector<std::string> words(argv + 1, argv + argc);
        return Do(words) == 0 ? 0 : 1;
    }
    for (std::string line; std::getline(std::cin, line);) {
        std::vector<std::string> words = Split(line);
        if (!words.empty() && words[0] == "exit") break;
        int error = Do(words);
        if (error) {
            std::cout << "error " << error << std::endl;
        } else {
            std::cout << "ok" << std::endl;
        }
    }
    return 0;
}
