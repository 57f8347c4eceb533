// The context menu's rules. Ignore items add anchored paths ("/src/gen/") for a folder, since
// "this folder" means that one and not every folder of the same name, and bare "*.EXT" for a
// type, which a user means everywhere. Names are written as literals, so that a "[" or "*" in a
// real name neither fails to parse nor matches more than the name.
#include "app/RowMenu.h"

#include "app/Texts.h"
#include "watch/ChangeRecord.h"
#include "watch/EventRow.h"

namespace qzx {
namespace {

bool IsRename(const EventRow& row) {
    return (row.action == kActionRenamedOld || row.action == kActionRenamedNew) &&
           row.details.find(kRenameMarker) != std::string::npos;
}

std::string_view OldPath(const EventRow& row) {
    const std::string_view details = row.details;
    return details.substr(0, details.find(kRenameMarker));
}

// Empty for a rename whose other half never came: the recorder writes the watched folder alone
// after the marker then, which names nothing.
std::string_view NewPath(const EventRow& row, char separator) {
    const std::string_view details = row.details;
    const std::size_t marker = details.find(kRenameMarker);
    if (marker == std::string_view::npos) return {};
    const std::string_view path = details.substr(marker + kRenameMarker.size());
    return path.empty() || path.back() == separator ? std::string_view() : path;
}

// The path the row is about now: the new one of a rename, else the only one.
std::string_view CurrentPath(const EventRow& row, char separator) {
    if (!IsRename(row)) return row.details;
    const std::string_view fresh = NewPath(row, separator);
    return fresh.empty() ? OldPath(row) : fresh;
}

std::string_view NameOf(std::string_view path, char separator) {
    const std::size_t last = path.rfind(separator);
    return last == std::string_view::npos ? path : path.substr(last + 1);
}

// "gz" of "a.tar.gz"; none for ".bashrc", "notes." or "Makefile".
std::string_view ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

bool SameExtension(std::string_view a, std::string_view b, bool foldCase) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (foldCase && x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (foldCase && y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// "/src/gen/" for watched + "src" + separator + "gen"; empty unless folder lies strictly below
// watched.
std::string FolderPattern(std::string_view folder, std::string_view watched, char separator) {
    if (watched.empty() || watched.back() != separator || folder.size() <= watched.size() ||
        folder.substr(0, watched.size()) != watched) {
        return {};
    }
    std::string_view relative = folder.substr(watched.size());
    std::string pattern;
    while (!relative.empty()) {
        const std::size_t end = relative.find(separator);
        const std::string_view name = relative.substr(0, end);
        if (!name.empty()) pattern += '/' + LiteralNamePattern(name);
        relative.remove_prefix(end == std::string_view::npos ? relative.size() : end + 1);
    }
    return pattern.empty() ? pattern : pattern + '/';
}

RowMenuItem Item(RowMenuCommand command, std::string text, std::string pattern = {}) {
    return {command, std::move(text), std::move(pattern)};
}

}  // namespace

std::vector<RowMenuItem> RowMenuItems(const RowMenuContext& context) {
    std::vector<RowMenuItem> items;
    const EventRow* row = context.row;
    const char separator = context.separator;
    if (row != nullptr) {
        items.push_back(Item(RowMenuCommand::kOpenFolder, texts::kMenuOpenFolder));
        items.push_back(Item(RowMenuCommand::kCopyPath, texts::kMenuCopyPath));
        items.push_back(Item(RowMenuCommand::kSeparator, {}));

        if (context.kind != PathKind::kFolder) {
            std::vector<std::string_view> names = {NameOf(CurrentPath(*row, separator), separator)};
            if (IsRename(*row)) names.push_back(NameOf(OldPath(*row), separator));
            std::vector<std::string_view> offered;
            for (const std::string_view name : names) {
                const std::string_view extension = ExtensionOf(name);
                if (extension.empty()) continue;
                bool again = false;
                for (const std::string_view seen : offered) {
                    again = again || SameExtension(seen, extension, context.syntax.foldCase);
                }
                if (again) continue;
                offered.push_back(extension);
                items.push_back(Item(RowMenuCommand::kIgnoreType,
                                     std::string(texts::kMenuIgnoreTypeBefore) + "*." +
                                         std::string(extension) + texts::kMenuIgnoreTypeAfter,
                                     "*." + LiteralNamePattern(extension)));
            }
        }

        const std::string folder = context.kind == PathKind::kFolder
                                       ? std::string(CurrentPath(*row, separator))
                                       : FolderOfDetails(row->details, separator);
        std::string pattern = FolderPattern(folder, context.watchedFolder, separator);
        if (!pattern.empty()) {
            items.push_back(
                Item(RowMenuCommand::kIgnoreFolder, texts::kMenuIgnoreFolder, std::move(pattern)));
        }
    }
    items.push_back(Item(RowMenuCommand::kIgnoreList, texts::kMenuIgnoreList));
    return items;
}

std::string PathToCopy(const EventRow& row, char separator) {
    return std::string(CurrentPath(row, separator));
}

std::vector<std::string> WithIgnorePattern(std::vector<std::string> lines,
                                           std::string_view pattern) {
    for (const std::string& line : lines) {
        if (line == pattern) return lines;
    }
    lines.emplace_back(pattern);
    return lines;
}

}  // namespace qzx
