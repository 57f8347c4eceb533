// Files kept in memory, for the core tests of the log and the export.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "records/FileSystem.h"
#include "tests/support/TestPaths.h"

namespace qzx::test {

// UTF-8 passes unchanged: the core tests look at structure, the platform tests at GBK bytes.
inline void CopyUtf8(std::string_view utf8, std::string& out) { out.append(utf8); }

// Folders are kept without their trailing separator, the root (test::RootFolder()) with it;
// a file needs its folder.
class FakeFileSystem final : public FileSystem {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::set<std::string> readOnly;
    bool failWrites = false;
    bool failReads = false;
    int appends = 0;  // calls of AppendToFile, failed ones included

    static std::string Bare(std::string path) {
        while (path.size() > RootFolder().size() && path.back() == kPathSeparator) path.pop_back();
        return path;
    }
    static std::string Parent(const std::string& path) {
        const size_t separator = path.rfind(kPathSeparator);
        const size_t root = RootFolder().size();
        return separator == std::string::npos || separator < root ? RootFolder()
                                                                  : path.substr(0, separator);
    }

    bool PathExistsAs(const std::string& path, bool asFolder) const override {
        return asFolder ? folders.count(Bare(path)) > 0 : files.count(Bare(path)) > 0;
    }
    bool PathExists(const std::string& path) const override {
        return PathExistsAs(path, true) || PathExistsAs(path, false);
    }
    bool IsWritableFolder(const std::string& path) const override {
        return folders.count(Bare(path)) > 0 && readOnly.count(Bare(path)) == 0;
    }
    int MakeFolders(const std::string& path) override {
        const std::string folder = Bare(path);
        if (folders.count(folder)) return 1;
        if (folder == RootFolder() || files.count(folder)) return 0;
        if (MakeFolders(Parent(folder)) != 1 || readOnly.count(Parent(folder))) return 0;
        folders.insert(folder);
        return 1;
    }
    int AppendToFile(const std::string& path, std::string_view bytes) override {
        ++appends;
        if (failWrites || !IsWritableFolder(Parent(path)) || folders.count(path)) return 0;
        files[path].append(bytes);
        return 1;
    }
    int ReplaceFile(const std::string& path, std::string_view bytes) override {
        if (failWrites || !IsWritableFolder(Parent(path)) || folders.count(path)) return 0;
        files[path] = std::string(bytes);
        return 1;
    }
    ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes,
                             std::string& bytes) const override {
        bytes.clear();
        if (failReads || folders.count(Bare(path))) return ReadResult::kFailed;
        const auto found = files.find(path);
        if (found == files.end()) return ReadResult::kMissing;
        if (found->second.size() > maxBytes) return ReadResult::kTooLarge;
        bytes = found->second;
        return ReadResult::kRead;
    }
};

}  // namespace qzx::test
