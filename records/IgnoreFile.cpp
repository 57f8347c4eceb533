// Pattern files: the lines in and out, through the records' file seam.
#include "records/IgnoreFile.h"

#include <utility>

#include "base/PathRules.h"

namespace qzx {

PatternFileText ReadPatternFile(const FileSystem& files, const std::string& path) {
    PatternFileText file;
    std::string bytes;
    file.result = files.ReadWholeFile(path, kMaxPatternFileBytes, bytes);
    if (file.result == ReadResult::kRead) file.lines = PatternLines(bytes);
    return file;
}

int WritePatternFile(FileSystem& files, const IgnoreFilePlace& place,
                     const std::vector<std::string>& lines) {
    if (place.path.empty()) return 0;
    const std::size_t separator = place.path.rfind(kPathSeparator);
    // The settings folder is made on the first write: a user who never ignores anything keeps
    // no empty folder of ours.
    if (separator != std::string::npos && separator > 0 &&
        files.MakeFolders(place.path.substr(0, separator)) != 1) {
        return 0;
    }
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += place.lineEnd;
    }
    return files.ReplaceFile(place.path, bytes);
}

PatternFileLoad LoadPatternFile(const FileSystem& files, const std::string& path,
                                IgnoreRules& rules) {
    PatternFileLoad load;
    const PatternFileText file = ReadPatternFile(files, path);
    load.result = file.result;
    if (file.result == ReadResult::kRead) load.errors = rules.AddLines(file.lines);
    return load;
}

bool IsTreeIgnoreFile(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == ".gitignore") return true;
    return path == ".git/info/exclude" || path == ".git\\info\\exclude";
}

std::shared_ptr<const IgnoreRules> LoadTreeRules(const FileSystem& files, const std::string& top,
                                                 const IgnoreRules& user,
                                                 const std::atomic<bool>* cancel) {
    const std::string root = WithTrailingSeparator(top);
    const std::string sep(1, kPathSeparator);
    // The files found so far: a folder relative to top, and its lines.
    std::vector<std::pair<std::string, std::vector<std::string>>> found;
    const PatternFileText exclude =
        ReadPatternFile(files, root + ".git" + sep + "info" + sep + "exclude");
    if (exclude.result == ReadResult::kRead) found.emplace_back("", exclude.lines);
    auto build = [&] {
        auto rules = std::make_shared<IgnoreRules>(user.Syntax());
        for (const auto& [folder, lines] : found) rules->AddTreeFile(lines, folder);
        rules->Append(user);
        return rules;
    };

    std::shared_ptr<IgnoreRules> rules = build();
    std::vector<std::string> level{""};
    std::vector<FolderEntry> entries;
    // Level by level: what ignores a folder is in the files of the folders above it, all read
    // by the time it is reached.
    while (!level.empty()) {
        std::vector<std::string> next;
        const std::size_t before = found.size();
        for (const std::string& folder : level) {
            if (cancel != nullptr && cancel->load()) break;
            if (!files.ListFolder(root + folder, entries)) continue;
            for (const FolderEntry& entry : entries) {
                if (entry.file && entry.name == ".gitignore") {
                    PatternFileText file = ReadPatternFile(files, root + folder + entry.name);
                    if (file.result == ReadResult::kRead) {
                        found.emplace_back(folder, std::move(file.lines));
                    }
                } else if (entry.folder && !(folder.empty() && entry.name == ".git")) {
                    next.push_back(folder + entry.name + sep);
                }
            }
        }
        if (found.size() != before) rules = build();
        level.clear();
        for (std::string& folder : next) {
            if (!rules->SkipsFolder(folder)) level.push_back(std::move(folder));
        }
    }
    return rules;
}

}  // namespace qzx
