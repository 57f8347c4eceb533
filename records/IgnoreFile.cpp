// Pattern files: the lines in and out, through the records' file seam.
#include "records/IgnoreFile.h"

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

}  // namespace qzx
