// Message boxes and file dialogs with Qt.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/Prompts.h"

namespace qzx {

class QtPrompts final : public Prompts {
  public:
    /// The window the boxes belong to; may be set after construction.
    void SetOwner(QWidget* window) { owner = window; }

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    int ChooseFolder(const std::string& title, std::string& path) override;
    int ChooseSaveFile(const std::vector<FileFilter>& filters, std::string& path) override;

  private:
    QPointer<QWidget> owner;
};

}  // namespace qzx
