// The dialogs around an export; the file itself is records' business.
#include "app/ExportPrompts.h"

#include "records/RecordExport.h"
#include "records/RecordTexts.h"

namespace qzx {

std::vector<FileFilter> ExportFilters() {
    return {{kExportFilterLogLabel, kExportFilterLogPattern},
            {kExportFilterAllLabel, kExportFilterAllPattern}};
}

std::optional<std::string> ChooseExportPath(Prompts& prompts, const FileSystem& files) {
    std::string chosen;
    if (prompts.ChooseSaveFile(ExportFilters(), chosen) != 1 || chosen.empty()) {
        return std::nullopt;
    }
    std::string path = WithExportExtension(chosen);
    if (files.PathExists(path) && !prompts.AskYesNo(OverwriteQuestionText(path))) {
        return std::nullopt;
    }
    return path;
}

void ReportExportResult(Prompts& prompts, const std::string& path, int result) {
    if (result == 1) {
        prompts.ShowMessage(SavedText(path), MessageIcon::Information);
        return;
    }
    prompts.ShowMessage(SaveFailedText(path), MessageIcon::Exclamation);
}

}  // namespace qzx
