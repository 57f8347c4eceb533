// Message boxes and file dialogs, behind a seam so that tests can answer them.
#pragma once

#include <string>
#include <vector>

namespace qzx {

enum class MessageIcon { Information, Exclamation };

/// One choice of a save dialog: the text shown and its pattern, as "日志 (*.log)" and "*.log".
struct FileFilter {
    std::string label;
    std::string pattern;
};

/// Modal questions to the user. GUI thread only; texts are UTF-8.
class Prompts {
  public:
    virtual ~Prompts() = default;
    /// A message with an OK button, titled with the application's name.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    /// A Yes/No question with the information icon; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    /// Folder dialog with the given title: 1 with the folder in path, 0 when cancelled,
    /// -1 when no dialog can be shown.
    virtual int ChooseFolder(const std::string& title, std::string& path) = 0;
    /// Save dialog with the given filters: 1 with the full path chosen, 0 when cancelled.
    virtual int ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) = 0;
};

}  // namespace qzx
