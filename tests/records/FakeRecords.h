// Test doubles for the records: a clock that is set by hand, files kept in memory and prompts
// that answer from a script and remember what they were asked.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/Prompts.h"
#include "base/Clock.h"
#include "records/FileSystem.h"
#include "tests/support/TestPaths.h"
#include "watch/EventRow.h"

namespace qzx::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(LocalTime t) : now(t) {}
    LocalTime Now() const override { return now; }
    LocalTime now;
};

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

class FakePrompts final : public Prompts {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    int saveResult = 1;
    std::string savePath;
    bool answerYes = true;
    std::vector<FileFilter> filtersSeen;
    std::vector<std::string> questions;
    std::vector<Message> messages;

    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answerYes;
    }
    int ChooseFolder(const std::string&, std::string&) override { return 0; }
    int ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) override {
        filtersSeen = filters;
        if (saveResult == 1) path = savePath;
        return saveResult;
    }
};

/// A row as the watcher would have made it.
inline EventRow Row(int id, int h, int m, int s, int action, std::string details) {
    EventRow row;
    row.id = id;
    row.hour = static_cast<std::uint8_t>(h);
    row.minute = static_cast<std::uint8_t>(m);
    row.second = static_cast<std::uint8_t>(s);
    row.action = static_cast<std::uint8_t>(action);
    row.details = std::move(details);
    return row;
}

}  // namespace qzx::test
